// The record of forwards: its parser on damaged, truncated and unknown-field lines, and
// the store under its lock, with twenty writers at once and things planted at its path.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "forward_record.h"
#include "forward_record_store.h"

namespace {

const std::string kHead = std::string(kRecordHeader) + "\n";
const std::string kLine = "mapping\tprotocol=UDP\texternal-port=8080\tinternal-address=192.168.1.5\tinternal-port=8080"
                          "\tfamily=IPv4\thow=PCP\tgateway-address=192.168.1.1\tnonce=00112233445566778899aabb"
                          "\tlifetime=7200\tgranted=1765000000";

struct ParseRow {
    const char* name;
    std::string text;
    std::size_t forwards;  // entries read when the text is a record
    const char* damage;    // start of the reason when it is not; "" when it is
};

void PrintTo(const ParseRow& row, std::ostream* out) { *out << row.name; }

const ParseRow kParseRows[] = {
    {"HeaderOnly", kHead, 0, ""},
    {"OneEntry", kHead + kLine + "\n", 1, ""},
    {"CommentsAndBlankLinesSkipped", kHead + "# note\n\n" + kLine + "\n", 1, ""},
    {"UnknownFieldSkipped", kHead + kLine + "\tcolour=blue\n", 1, ""},
    {"CrLfLineEnds", std::string(kRecordHeader) + "\r\n" + kLine + "\r\n", 1, ""},
    {"Empty", "", 0, "it is cut short"},
    {"LastLineCutShort", kHead + kLine.substr(0, 40), 0, "it is cut short"},
    {"OtherHeader", "varneth forwards 2\n" + kLine + "\n", 0, "its first line is not"},
    {"UnknownKind", kHead + "pinhole\tprotocol=TCP\n", 0, "line 2: it is not a mapping"},
    {"FieldWithoutEquals", kHead + kLine + "\tbroken\n", 0, "line 2: a field without '='"},
    {"RequiredFieldMissing", kHead + "mapping\tprotocol=TCP\texternal-port=80\n", 0, "line 2: the field internal-address"},
    {"PortNotANumber", kHead + "mapping" + kLine.substr(7).replace(kLine.find("=8080") - 7, 5, "=80x0") + "\n", 0,
     "line 2: a port is not"},
    {"PortOutOfRange", kHead + kLine + "\n" + "mapping" + kLine.substr(7).replace(kLine.find("=8080") - 7, 5, "=70000") +
                           "\n",
     0, "line 3: a port is not"},
    {"UnknownProtocol", kHead + "mapping" + kLine.substr(7).replace(kLine.find("UDP") - 7, 3, "SCTP") + "\n", 0,
     "line 2: the protocol"},
    {"NegativeLifetime", kHead + "mapping" + kLine.substr(7).replace(kLine.find("=7200") - 7, 5, "=-1") + "\n", 0,
     "line 2: the lifetime"},
    {"EpochNotANumber", kHead + kLine + "\tepoch=soon\n", 0, "line 2: the router's epoch"},
    {"PcpPinholeByItsNonce",
     kHead + "mapping" + kLine.substr(7).replace(kLine.find("IPv4") - 7, 4, "IPv6") + "\tfor-address=192.168.1.5\n", 1,
     ""},
    {"PinholeWithoutItsId",
     kHead + "mapping" + kLine.substr(7).replace(kLine.find("IPv4") - 7, 4, "IPv6").replace(kLine.find("PCP") - 7, 3, "UPnP") +
         "\tfor-address=192.168.1.5\n",
     0, "line 2: a pinhole lacks"},
};

class Parse : public ::testing::TestWithParam<ParseRow> {};

TEST_P(Parse, ReadsARecordOrSaysWhyNot)
{
    const ParseRow& row = GetParam();
    const RecordReading reading = ParseRecord(row.text);
    EXPECT_EQ(reading.forwards.size(), row.forwards);
    if (*row.damage == '\0')
        EXPECT_EQ(reading.damage, "");
    else
        EXPECT_EQ(reading.damage.rfind(row.damage, 0), 0u) << reading.damage;
}

INSTANTIATE_TEST_SUITE_P(Rows, Parse, ::testing::ValuesIn(kParseRows),
                         [](const auto& info) { return std::string(info.param.name); });

RecordedForward Sample(int port, const std::string& protocol = "TCP")
{
    RecordedForward f;
    f.protocol = protocol;
    f.externalPort = f.internalPort = port;
    f.internalAddress = "192.168.1.5";
    f.family = "IPv4";
    f.how = "UPnP";
    f.gateway = {"uuid:gw-1", "192.168.1.1", "02:00:00:00:00:01"};
    f.externalAddress = "11.77.0.1";
    f.lifetime = 7200;
    f.grantedAt = 1765000000;
    f.epoch = 86400; // written and read back like every field
    f.firewallEntry = "HLMX " + std::to_string(port) + " " + protocol;
    f.description = "HLMX " + std::to_string(port) + " " + protocol + "\twith a tab";
    return f;
}

TEST(Record, WhatIsWrittenReadsBackAndASameMappingReplacesItsEntry)
{
    std::vector<RecordedForward> forwards;
    Remember(forwards, Sample(8080));
    Remember(forwards, Sample(8080, "UDP"));
    RecordedForward again = Sample(8080);
    again.grantedAt += 3600;
    again.firewallEntry.clear(); // the firewall let it in already: through our first entry
    Remember(forwards, again);
    // The pinhole beside the same port is an entry of its own, with its id and its forward.
    RecordedForward pinhole = Sample(8080);
    pinhole.family = "IPv6";
    pinhole.internalAddress = pinhole.externalAddress = "2001:db8:77::2";
    pinhole.pinholeId = "1234";
    pinhole.forwardAddress = "192.168.1.5";
    pinhole.firewallEntry.clear();
    Remember(forwards, pinhole);
    ASSERT_EQ(forwards.size(), 3u);
    EXPECT_EQ(forwards[0].grantedAt, again.grantedAt);
    EXPECT_EQ(forwards[0].firewallEntry, "HLMX 8080 TCP");

    const RecordReading reading = ParseRecord(FormatRecord(forwards));
    ASSERT_EQ(reading.damage, "");
    ASSERT_EQ(reading.forwards.size(), 3u);
    pinhole.description = "HLMX 8080 TCP with a tab";
    EXPECT_EQ(reading.forwards[2], pinhole);
    // The tab in the description cannot split the line: it comes back as a blank.
    EXPECT_EQ(reading.forwards[1].description, "HLMX 8080 UDP with a tab");
    RecordedForward expected = forwards[0];
    expected.description = "HLMX 8080 TCP with a tab";
    EXPECT_EQ(reading.forwards[0], expected);
}

// A state folder of the test's own for every case.
class Store : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/kavro-record-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        root_ = pattern;
        ::setenv("XDG_STATE_HOME", root_.c_str(), 1);
    }
    void TearDown() override
    {
        std::filesystem::remove_all(root_);
        ::unsetenv("XDG_STATE_HOME");
    }
    std::filesystem::path Folder() const { return std::filesystem::path(root_) / "varneth"; }
    std::vector<std::string> Names() const
    {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(Folder()))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    std::string root_;
};

TEST_F(Store, TwentyWritersAtOnceLoseNoEntry)
{
    std::vector<pid_t> children;
    for (int i = 0; i < 20; ++i) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            std::string problem;
            auto store = ForwardRecordStore::Open(problem);
            if (!store) ::_exit(1);
            Remember(store->forwards, Sample(20000 + i));
            ::_exit(store->Save() ? 0 : 2);
        }
        children.push_back(child);
    }
    for (const pid_t child : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    std::string problem;
    const auto store = ForwardRecordStore::Open(problem);
    ASSERT_TRUE(store) << problem;
    EXPECT_EQ(store->forwards.size(), 20u);
    // The renewal command is in place for the timer.
    std::ifstream command(Folder() / "renew" / "kavro.cmd");
    std::stringstream text;
    text << command.rdbuf();
    EXPECT_EQ(text.str(), "renew\n");
}

struct PlantedRow {
    const char* name;
    void (*plant)(const std::filesystem::path& record);
};

void PrintTo(const PlantedRow& row, std::ostream* out) { *out << row.name; }

const PlantedRow kPlanted[] = {
    {"Damaged", [](const std::filesystem::path& p) { std::ofstream(p) << kHead << "mapping\tprotocol=TCP\n"; }},
    {"Link", [](const std::filesystem::path& p) { std::filesystem::create_symlink("/etc/passwd", p); }},
    {"Fifo", [](const std::filesystem::path& p) { ::mkfifo(p.c_str(), 0600); }},
};

class Planted : public Store, public ::testing::WithParamInterface<PlantedRow> {};

// Never followed nor emptied: set aside with its reason beside it, and a new record
// written in its place.
TEST_P(Planted, IsSetAsideWithItsReason)
{
    std::filesystem::create_directories(Folder());
    GetParam().plant(Folder() / "forwards");
    std::string problem;
    {
        auto store = ForwardRecordStore::Open(problem);
        ASSERT_TRUE(store) << problem;
        EXPECT_TRUE(store->forwards.empty());
        Remember(store->forwards, Sample(8080));
        ASSERT_TRUE(store->Save());
    }
    const std::vector<std::string> names = Names();
    ASSERT_EQ(names.size(), 5u) << ::testing::PrintToString(names);
    EXPECT_EQ(names[0], "forwards");
    EXPECT_EQ(names[1].rfind("forwards.damaged-", 0), 0u);
    EXPECT_EQ(names[2], names[1] + ".reason");
    EXPECT_EQ(names[3], "forwards.lock");
    EXPECT_EQ(names[4], "renew");
    EXPECT_TRUE(std::filesystem::is_regular_file(std::filesystem::symlink_status(Folder() / "forwards")));
    const auto store = ForwardRecordStore::Open(problem);
    ASSERT_TRUE(store) << problem;
    EXPECT_EQ(store->forwards.size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Rows, Planted, ::testing::ValuesIn(kPlanted),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
