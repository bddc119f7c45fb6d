// The "kavro" command against the fake gateway and firewall classes: the result line and
// what was mapped and let in, for every way a platform call can go wrong, and the
// headlines the forward itself writes; and after each, no COM object or BSTR left alive.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <cctype>
#include <cwchar>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "com/com_api.h"
#include "diagnostics.h"
#include "fake_platform.h"
#include "forward_command.h"

namespace {

const std::string kOk = "0", kInvalid = "Invalid IP",
                  kAdmin = "Failed to initialize firewall. Try running with proper admin privileges.",
                  kNotOpened = "Firewall initialized well, but failed to open ports on it.";
constexpr Outcome F = Outcome::Fails, Null = Outcome::LeavesNull;

std::vector<std::wstring> Command(const wchar_t* port, const wchar_t* tcp = L"TRUE", const wchar_t* udp = L"TRUE")
{
    return {L"kavro", L"10.0.0.5", port, tcp, udp};
}

void TcpEntryThere(FakePlatform& platform) { platform.openPorts.insert({8080, NET_FW_IP_PROTOCOL_TCP}); }

struct Row {
    const char* name;
    std::string result;
    std::string trace;  // see Trace
    std::map<std::string, Outcome> outcomes = {};
    std::vector<std::wstring> command = Command(L"8080");
    void (*arrange)(FakePlatform&) = nullptr;
};

const Row kRows[] = {
    {"both", kOk, "FNTtNUu"},
    {"tcp_then_a_blank_line", kOk, "FNTt", {}, {L"kavro", L"10.0.0.5", L"8080", L"TRUE", L"FALSE", L""}},
    {"only_exact_TRUE", kOk, "FNUu", {}, Command(L"8080", L"true")},
    {"port_read_like_wcstol", kOk, "FNTt", {}, Command(L"  80abc", L"TRUE", L"FALSE")},
    {"port_0", kInvalid, "F", {}, Command(L"0")},
    {"port_65536", kInvalid, "F", {}, Command(L"65536")},
    {"port_past_32_bits", kInvalid, "F", {}, Command(L"4294975376")},  // 2^32 + 8080
    {"incomplete", "Incomplete forward command", "", {}, {L"kavro", L"10.0.0.5", L"8080", L"TRUE"}},
    {"no_protocol", "No protocol selected", "", {}, Command(L"8080", L"FALSE", L"false")},
    {"com_fails", "Failed to initialize COM library. This should not happen", "", {}, Command(L"8080"),
     [](FakePlatform&) { comrt::InjectCoInitializeFailure(E_FAIL); }},
    {"tcp_refused_udp_made", kInvalid, "FNTNUu", {{"Add TCP", F}}},
    {"udp_refused_tcp_made", kInvalid, "FNTtNU", {{"Add UDP", F}}},
    {"tcp_not_let_in_udp_let_in", kNotOpened, "FNTtNUu", {{"OpenPorts.Add TCP", F}}},
    {"udp_not_let_in", kNotOpened, "FNTtNUu", {{"OpenPorts.Add UDP", F}}},
    {"tcp_refused_udp_not_let_in", kNotOpened, "FNTNUu", {{"Add TCP", F}, {"OpenPorts.Add UDP", F}}},
    {"firewall_off", kOk, "FNTNU", {{"get_FirewallEnabled", Null}}},
    {"firewall_state_unread", kOk, "FNTNU", {{"get_FirewallEnabled", F}}},
    {"entry_there", kOk, "FNTNUu", {}, Command(L"8080"), TcpEntryThere},
    {"disabled_entry_there", kOk, "FNTtNUu", {{"get_Enabled", Null}}, Command(L"8080"), TcpEntryThere},
    {"entry_state_unread", kNotOpened, "FNTNUu", {{"get_Enabled", F}}, Command(L"8080"), TcpEntryThere},
    {"create_nat_fails", kInvalid, "FNN", {{"CoCreateInstance UPnPNAT", F}}},
    {"create_nat_null", kInvalid, "FNN", {{"CoCreateInstance UPnPNAT", Null}}},
    {"collection_fails", kInvalid, "FNN", {{"get_StaticPortMappingCollection", F}}},
    {"collection_null", kInvalid, "FNN", {{"get_StaticPortMappingCollection", Null}}},
    {"add_mapping_fails", kInvalid, "FNTNU", {{"Add ", F}}},
    {"add_mapping_null", kInvalid, "FNTNU", {{"Add ", Null}}},
    {"create_manager_fails", kAdmin, "FNTNU", {{"CoCreateInstance NetFwMgr", F}}},
    {"policy_fails", kAdmin, "FNTNU", {{"get_LocalPolicy", F}}},
    {"policy_null", kAdmin, "FNTNU", {{"get_LocalPolicy", Null}}},
    {"profile_fails", kAdmin, "FNTNU", {{"get_CurrentProfile", F}}},
    {"open_ports_fails", kNotOpened, "FNTNU", {{"get_GloballyOpenPorts", F}}},
    {"lookup_fails", kOk, "FNTtNUu", {{"Item", F}}},
    {"create_entry_fails", kNotOpened, "FNTNU", {{"CoCreateInstance NetFwOpenPort", F}}},
    {"create_entry_null", kNotOpened, "FNTNU", {{"CoCreateInstance NetFwOpenPort", Null}}},
    {"put_port_fails", kNotOpened, "FNTNU", {{"put_Port", F}}},
    {"put_protocol_fails", kNotOpened, "FNTNU", {{"put_Protocol", F}}},
    {"put_name_fails", kNotOpened, "FNTNU", {{"put_Name", F}}},
    {"add_entry_fails", kNotOpened, "FNTtNUu", {{"OpenPorts.Add", F}}},
};

void PrintTo(const Row& row, std::ostream* out) { *out << row.name; }

template <class Param>
class ForwardTest : public ::testing::TestWithParam<Param> {
protected:
    void SetUp() override
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "kavro-test-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        scratch = pattern;
        std::filesystem::current_path(scratch);
        comrt::ResetRuntimeForTests();
        platform.Register();
    }
    void TearDown() override
    {
        std::filesystem::current_path(scratch.parent_path());
        std::filesystem::remove_all(scratch);
        comrt::ResetRuntimeForTests();
        EXPECT_EQ(comrt::LiveObjectCount(), 0) << "COM objects left alive";
        EXPECT_EQ(comrt::LiveStringCount(), 0) << "BSTRs left unfreed";
    }
    // F: firewall manager made, N: NAT object made; T/U: mapping asked, t/u: firewall entry
    // added, each as the command says.
    std::string Trace(const std::vector<std::wstring>& command) const
    {
        const std::string port = command.size() < 3 ? "" : std::to_string(std::wcstol(command[2].c_str(), nullptr, 10));
        std::string letters;
        for (const std::string& call : platform.calls) {
            if (call == "CoCreateInstance NetFwMgr") letters += 'F';
            if (call == "CoCreateInstance UPnPNAT") letters += 'N';
            for (const std::string protocol : {"TCP", "UDP"}) {
                const std::string name = " 'HLMX " + port + " " + protocol + "'";
                if (call == "Add " + protocol + " " + port + "->10.0.0.5:" + port + name + " 1") letters += protocol[0];
                if (call == "OpenPorts.Add " + protocol + " " + port + name) letters += char(std::tolower(protocol[0]));
            }
        }
        return letters;
    }
    FakePlatform platform;
    std::filesystem::path scratch;
};

using Forward = ForwardTest<Row>;

TEST_P(Forward, WritesItsResultLine)
{
    platform.outcomes = GetParam().outcomes;
    if (GetParam().arrange) GetParam().arrange(platform);
    RunForwardCommand(GetParam().command);
    std::ostringstream result;
    result << std::ifstream("log.txt").rdbuf();
    EXPECT_EQ(result.str(), GetParam().result + "\n");
    EXPECT_EQ(Trace(GetParam().command), GetParam().trace);
}

INSTANTIATE_TEST_SUITE_P(Rows, Forward, ::testing::ValuesIn(kRows),
                         [](const ::testing::TestParamInfo<Row>& info) { return info.param.name; });

struct HeadlineRow {
    const char* name;
    std::vector<std::string> headlines;  // distinct, in order, as the window shows them
    std::map<std::string, Outcome> outcomes = {};
    std::vector<std::wstring> command = Command(L"8080");
    std::map<std::string, long> leases = {{"TCP", 604800}, {"UDP", 604800}};
};

const std::string kPartly = "Port 8080 was opened on the router for UDP only, not for TCP. If the program needs only UDP, "
                            "tick only UDP; else fix the cause above and try again.";

const HeadlineRow kHeadlineRows[] = {
    {"for_7_days", {"Port 8080 is kept open: renewed every 4 days; it closes by itself within 7 days if this machine "
                    "stops renewing."}},
    {"for_2_hours", {"Port 8080 is kept open: renewed every hour; it closes by itself within 2 hours if this machine "
                     "stops renewing."}, {}, Command(L"8080"), {{"TCP", 7200}, {"UDP", 7199}}},
    {"lease_0_until_restart", {"The router keeps port 8080 open until it restarts."}, {}, Command(L"8080"), {{"TCP", 0}, {"UDP", 0}}},
    {"shorter_lease_of_two", {"Port 8080 is kept open: renewed every 30 minutes; it closes by itself within 1 hour if "
                              "this machine stops renewing."}, {}, Command(L"8080"), {{"TCP", 0}, {"UDP", 3599}}},
    {"only_the_asked_protocol", {"Port 8080 is kept open: renewed every minute; it closes by itself within 2 minutes if "
                                 "this machine stops renewing."}, {}, Command(L"8080", L"FALSE"),
     {{"TCP", 30}, {"UDP", 119}}},
    {"lease_untold", {}, {{"get_LeaseSeconds", F}}},
    {"not_let_in_no_lasting", {}, {{"OpenPorts.Add UDP", F}}},
    {"tcp_refused", {kPartly}, {{"Add TCP", F}}},
    {"udp_refused", {"Port 8080 was opened on the router for TCP only, not for UDP. If the program needs only TCP, tick only "
                     "TCP; else fix the cause above and try again."},
     {{"Add UDP", F}}},
    {"both_refused", {}, {{"Add ", F}}},
    {"port_70000", {"Port 70000 cannot be opened: a port is a number from 1 to 65535. Choose a port in that range."}, {},
     Command(L"70000")},
};

void PrintTo(const HeadlineRow& row, std::ostream* out) { *out << row.name; }

using Headlines = ForwardTest<HeadlineRow>;

TEST_P(Headlines, AreWrittenOncePerCause)
{
    platform.outcomes = GetParam().outcomes;
    platform.leases = GetParam().leases;
    ::testing::internal::CaptureStderr();
    RunForwardCommand(GetParam().command);
    std::istringstream stderrText(::testing::internal::GetCapturedStderr());
    const std::string marker = kHeadlineMarker;
    std::vector<std::string> headlines;
    for (std::string line; std::getline(stderrText, line);)
        if (line.rfind(marker, 0) == 0 &&
            std::find(headlines.begin(), headlines.end(), line.substr(marker.size())) == headlines.end())
            headlines.push_back(line.substr(marker.size()));
    EXPECT_EQ(headlines, GetParam().headlines);
}

INSTANTIATE_TEST_SUITE_P(Rows, Headlines, ::testing::ValuesIn(kHeadlineRows),
                         [](const ::testing::TestParamInfo<HeadlineRow>& info) { return info.param.name; });

} // namespace
