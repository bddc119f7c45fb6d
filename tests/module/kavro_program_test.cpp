// The built Kavro, run as the window runs it: no arguments, in a directory that
// holds the two files.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <map>
#include <vector>

#include "internal_ips.h"
#include "test_support.h"
#include "text_lines.h"

namespace fs = std::filesystem;

namespace {

struct KavroRun {
    int exitStatus = -1;
    double seconds = 0;
};

// Runs Kavro in the current directory with TMPDIR set. When `isolated` (needs root),
// in a network namespace of its own, so nothing it sends can leave, and out of reach
// of the machine's own firewall, which a forward must not change.
KavroRun RunKavro(const std::string& tmpdir, bool isolated = false)
{
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = ::fork();
    if (child == 0) {
        ::setenv("TMPDIR", tmpdir.c_str(), 1);
        if (isolated)
            ::execlp("unshare", "unshare", "-n", HIDE_HOST_FIREWALL, KAVRO_PROGRAM, static_cast<char*>(nullptr));
        else
            ::execl(KAVRO_PROGRAM, KAVRO_PROGRAM, static_cast<char*>(nullptr));
        ::_exit(127);
    }
    // A run that blocks is ended, so the test reports it instead of hanging.
    int status = 0;
    while (::waitpid(child, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() - start > std::chrono::seconds(15)) ::kill(child, SIGKILL);
        ::usleep(10000);
    }
    KavroRun run;
    run.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return run;
}

std::string AddressFile(const std::vector<std::wstring>& addresses)
{
    std::string bytes;
    for (const std::wstring& address : addresses) bytes += NarrowToBytes(address) + "\n";
    return bytes;
}

class KavroProgram : public ::testing::Test {
protected:
    ScratchDirectory dir;
    std::string tmp = (dir.path() / "tmp").string();
    void SetUp() override { fs::create_directory(tmp); }
};

TEST_F(KavroProgram, NoCommandFileAnswersOne)
{
    EXPECT_EQ(RunKavro(tmp).exitStatus, 0);
    EXPECT_EQ(ReadBytes("log.txt"), "1\n");
}

TEST_F(KavroProgram, GetipsAnswersTheAddressListWhateverFollowsAndWithCrLf)
{
    ::setenv("TMPDIR", tmp.c_str(), 1);
    const std::string expected = AddressFile(GetInternalIPs());
    ::unsetenv("TMPDIR");
    for (const char* command : {"getips\r\nkavro\r\n", "getips", "getips\n\x01\x02garbage"}) {
        WriteBytes("kavro.cmd", command);
        ::testing::internal::CaptureStdout();
        EXPECT_EQ(RunKavro(tmp).exitStatus, 0);
        EXPECT_EQ(::testing::internal::GetCapturedStdout(), "") << "getips prints nothing";
        EXPECT_EQ(ReadBytes("log.txt"), expected) << command;
    }
}

TEST_F(KavroProgram, AnyOtherFirstLineLeavesTheEarlierResultAlone)
{
    for (const std::string& command :
         {std::string("GETIPS\n"), std::string("getips \n"), std::string(" kavro\n"), std::string("\nfoo\n"),
          std::string(""), std::string("hello"), std::string("\0getips\n", 8), std::string("get\0ips\n", 8)}) {
        WriteBytes("log.txt", "earlier\r\n");
        WriteBytes("kavro.cmd", command);
        EXPECT_EQ(RunKavro(tmp).exitStatus, 0);
        EXPECT_EQ(ReadBytes("log.txt"), "earlier\r\n") << "command: " << command;
    }
}

TEST_F(KavroProgram, HugeOrBinaryCommandFilesNeitherCrashNorHang)
{
    std::string binary;
    for (int i = 0; i < 1 << 20; ++i) binary.push_back(static_cast<char>((i * 7919) & 0xFF));
    const std::map<std::string, std::string> files = {
        {"getips_then_8MB", "getips\n" + std::string(8 << 20, 'A')},
        {"one_8MB_line", std::string(8 << 20, 'g')},
        {"binary", binary},
    };
    for (const auto& [name, bytes] : files) {
        WriteBytes("kavro.cmd", bytes);
        fs::remove("log.txt");
        const KavroRun run = RunKavro(tmp);
        EXPECT_EQ(run.exitStatus, 0) << name;
        EXPECT_LT(run.seconds, 5.0) << name;
        EXPECT_EQ(fs::exists("log.txt"), name == "getips_then_8MB") << name;
    }
}

TEST_F(KavroProgram, UnreadableCommandFileAnswersOne)
{
    WriteBytes("kavro.cmd", "getips\n");
    ::chmod("kavro.cmd", 0);
    if (::geteuid() == 0) {
        fs::remove("kavro.cmd");
        fs::create_directory("kavro.cmd");  // root reads any file; a directory it cannot read as one
    }
    EXPECT_EQ(RunKavro(tmp).exitStatus, 0);
    EXPECT_EQ(ReadBytes("log.txt"), "1\n");
}

// What another user may plant under the two names in a folder they can write to.
enum class Planted { LinkToSecret, LinkToNothing, Fifo };

struct PlantedCase {
    const char* name;
    const char* file;   // kavro.cmd or log.txt
    Planted planted;
    bool getips;        // a real "getips" command file beside a planted log.txt
};

class PlantedExchangeFile : public ::testing::TestWithParam<PlantedCase> {
protected:
    ScratchDirectory dir;
    std::string tmp = (dir.path() / "tmp").string();
    fs::path elsewhere = dir.path() / "elsewhere";
    fs::path secret = elsewhere / "secret";
    void SetUp() override
    {
        fs::create_directory(tmp);
        fs::create_directory(elsewhere);
        WriteBytes(secret, "getips\n");  // a command, should the module read it through the link
        fs::permissions(secret, fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::replace);
    }
};

// Never followed, never blocked on: the run answers as if the file were not there,
// within seconds, and leaves nothing behind but its answer.
TEST_P(PlantedExchangeFile, IsNeitherFollowedNorBlockedOn)
{
    const PlantedCase& row = GetParam();
    if (row.getips) WriteBytes("kavro.cmd", "getips\n");
    switch (row.planted) {
    case Planted::LinkToSecret: fs::create_symlink(secret, row.file); break;
    case Planted::LinkToNothing: fs::create_symlink(elsewhere / "new", row.file); break;
    case Planted::Fifo: ASSERT_EQ(::mkfifo(row.file, 0666), 0); break;
    }
    ::setenv("TMPDIR", tmp.c_str(), 1);
    const std::string addresses = AddressFile(GetInternalIPs());
    ::unsetenv("TMPDIR");

    const KavroRun run = RunKavro(tmp);
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_LT(run.seconds, 5.0);
    EXPECT_EQ(ReadBytes(secret), "getips\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(elsewhere), fs::directory_iterator()), 1) << "a file made through a link";
    ASSERT_TRUE(fs::is_regular_file(fs::symlink_status("log.txt")));
    EXPECT_EQ(ReadBytes("log.txt"), row.getips ? addresses : "1\n");
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(".")) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"elsewhere", "kavro.cmd", "log.txt", "tmp"}));
}

INSTANTIATE_TEST_SUITE_P(
    Files, PlantedExchangeFile,
    ::testing::Values(PlantedCase{"command_file_links_to_a_secret", "kavro.cmd", Planted::LinkToSecret, false},
                      PlantedCase{"command_file_is_a_fifo", "kavro.cmd", Planted::Fifo, false},
                      PlantedCase{"result_file_links_to_a_secret", "log.txt", Planted::LinkToSecret, true},
                      PlantedCase{"result_file_links_to_nothing", "log.txt", Planted::LinkToNothing, true},
                      PlantedCase{"result_file_is_a_fifo", "log.txt", Planted::Fifo, true}),
    [](const ::testing::TestParamInfo<PlantedCase>& info) { return info.param.name; });

TEST_F(KavroProgram, UnusableTemporaryDirectoryGivesError)
{
    WriteBytes("kavro.cmd", "getips\n");
    EXPECT_EQ(RunKavro((dir.path() / "missing").string()).exitStatus, 0);
    EXPECT_EQ(ReadBytes("log.txt"), "ERROR\n");
}

// Runs Kavro in the current directory as an ordinary user, who may neither remove nor
// take over what another user left in a sticky `tmpdir`, as in /tmp.
int RunKavroAsUser(const std::string& tmpdir)
{
    const pid_t child = ::fork();
    if (child == 0) {
        if (::chown(".", 1000, 1000) != 0 || ::chown("kavro.cmd", 1000, 1000) != 0 || ::setgid(1000) != 0 ||
            ::setuid(1000) != 0)
            ::_exit(2);
        ::setenv("TMPDIR", tmpdir.c_str(), 1);
        ::execl(KAVRO_PROGRAM, KAVRO_PROGRAM, static_cast<char*>(nullptr));
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(KavroProgram, WhatAnotherUserLeavesAtTheOldCapturePathChangesNothing)
{
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to leave entries as another user";
    ::setenv("TMPDIR", tmp.c_str(), 1);
    const std::string expected = AddressFile(GetInternalIPs());
    ::unsetenv("TMPDIR");
    ASSERT_NE(expected, "ERROR\n");
    const std::string stale = "   IPv4 Address. . . : 6.6.6.6\n";
    const fs::path planted = fs::path(tmp) / "ip_c.tmp";
    const fs::path victim = dir.path() / "victim";
    WriteBytes(victim, stale);
    ::chmod(tmp.c_str(), 01777);
    for (const bool link : {false, true}) {
        fs::remove(planted);
        if (link) fs::create_symlink(victim, planted);
        else WriteBytes(planted, stale);
        ASSERT_EQ(::lchown(planted.c_str(), 65534, 65534), 0);
        WriteBytes("kavro.cmd", "getips\n");
        EXPECT_EQ(RunKavroAsUser(tmp), 0);
        EXPECT_EQ(ReadBytes("log.txt"), expected) << (link ? "link" : "file");
        EXPECT_EQ(ReadBytes(victim), stale);
        EXPECT_EQ(link ? fs::read_symlink(planted) : fs::path(ReadBytes(planted)), link ? victim : fs::path(stale));
        EXPECT_EQ(std::distance(fs::directory_iterator(tmp), fs::directory_iterator()), 1) << "nothing of ours is left";
    }
}

TEST_F(KavroProgram, ParallelRunsNeverCollide)
{
    ::setenv("TMPDIR", tmp.c_str(), 1);
    const std::string expected = AddressFile(GetInternalIPs());
    constexpr int kRuns = 200;
    std::vector<pid_t> runs;
    for (int i = 0; i < kRuns; ++i) {
        const fs::path own = dir.path() / ("run" + std::to_string(i));
        fs::create_directory(own);
        WriteBytes(own / "kavro.cmd", "getips\n");
        const pid_t child = ::fork();
        if (child == 0) {
            if (::chdir(own.c_str()) == 0) ::execl(KAVRO_PROGRAM, KAVRO_PROGRAM, static_cast<char*>(nullptr));
            ::_exit(127);
        }
        runs.push_back(child);
    }
    ::unsetenv("TMPDIR");
    for (const pid_t run : runs) ::waitpid(run, nullptr, 0);
    int otherAnswers = 0;
    for (int i = 0; i < kRuns; ++i) otherAnswers += ReadBytes(dir.path() / ("run" + std::to_string(i)) / "log.txt") != expected;
    EXPECT_EQ(otherAnswers, 0) << "of " << kRuns << " runs";
    EXPECT_TRUE(fs::is_empty(tmp)) << "every run removed its capture and its folder";
}

TEST_F(KavroProgram, ForwardCommandRunsToAResultLine)
{
    if (::geteuid() != 0) GTEST_SKIP() << "needs root for a network namespace of its own";
    WriteBytes("kavro.cmd", "kavro\r\n10.0.0.5\r\n8080\r\nTRUE\r\nTRUE\r\n");
    const KavroRun run = RunKavro(tmp, /*isolated=*/true);
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_LT(run.seconds, 10.0);
    const std::string result = ReadBytes("log.txt");
    ASSERT_FALSE(result.empty());
    EXPECT_NE(result, "0\n") << "there is no gateway in an empty namespace";
    EXPECT_EQ(result.find('\n'), result.size() - 1) << "one line: " << result;
}

} // namespace
