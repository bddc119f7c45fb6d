// The built Kavro, run as the window runs it: no arguments, in a directory that
// holds the two files.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>

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
    int status = 0;
    ::waitpid(child, &status, 0);
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

TEST_F(KavroProgram, UnusableTemporaryDirectoryGivesError)
{
    WriteBytes("kavro.cmd", "getips\n");
    EXPECT_EQ(RunKavro((dir.path() / "missing").string()).exitStatus, 0);
    EXPECT_EQ(ReadBytes("log.txt"), "ERROR\n");
}

TEST_F(KavroProgram, PlantedLinkIsNeitherFollowedNorReadBack)
{
    const fs::path target = dir.path() / "victim";
    WriteBytes(target, "   IPv4 Address. . . : 6.6.6.6\n");
    fs::create_symlink(target, fs::path(tmp) / "ip_c.tmp");
    WriteBytes("kavro.cmd", "getips\n");
    EXPECT_EQ(RunKavro(tmp).exitStatus, 0);
    EXPECT_EQ(ReadBytes(target), "   IPv4 Address. . . : 6.6.6.6\n");
    EXPECT_EQ(ReadBytes("log.txt").find("6.6.6.6"), std::string::npos);
    EXPECT_FALSE(fs::is_symlink(fs::path(tmp) / "ip_c.tmp"));
    struct stat info {};
    ASSERT_EQ(::stat((fs::path(tmp) / "ip_c.tmp").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST_F(KavroProgram, SomeoneElsesCaptureIsNotReadBack)
{
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to make a file another user owns";
    const fs::path capture = fs::path(tmp) / "ip_c.tmp";
    WriteBytes(capture, "   IPv4 Address. . . : 6.6.6.6\n");
    ASSERT_EQ(::chown(capture.c_str(), 65534, 65534), 0);
    // A sticky directory, like /tmp, where we may not remove another user's file.
    ::chmod(tmp.c_str(), 01777);
    WriteBytes("kavro.cmd", "getips\n");
    const pid_t child = ::fork();
    if (child == 0) {  // run as an ordinary user, who may not take the file over
        if (::chown(dir.path().c_str(), 1000, 1000) != 0 || ::chown("kavro.cmd", 1000, 1000) != 0 ||
            ::setgid(1000) != 0 || ::setuid(1000) != 0)
            ::_exit(2);
        ::setenv("TMPDIR", tmp.c_str(), 1);
        ::execl(KAVRO_PROGRAM, KAVRO_PROGRAM, static_cast<char*>(nullptr));
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(ReadBytes("log.txt"), "ERROR\n");
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
