// The "kavro" command against the fake gateway and firewall classes: the result line and
// what was mapped and let in, for every way a platform call can go wrong, and the
// headlines the forward itself writes; and after each, no COM object or BSTR left alive.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cwchar>

#include "com/com_api.h"
#include "diagnostics.h"
#include "fake_platform.h"
#include "forward/forward_command.h"
#include "scratch_folder.h"

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

const std::string kWeek = "The router keeps port 8080 open for 7 days.";
const std::string kPartly = "Port 8080 was opened on the router for UDP only, not for TCP. If the program needs only UDP, "
                            "tick only UDP; else fix the cause above and try again.";

struct Row {
    const char* name;
    std::string result;
    std::string trace;                   // see Trace
    std::vector<std::string> headlines;  // distinct, in order, as the window shows them
    std::map<std::string, Outcome> outcomes = {};
    std::vector<std::wstring> command = Command(L"8080");
    void (*arrange)(FakePlatform&) = nullptr;
    std::map<std::string, long> leases = {{"TCP", 604800}, {"UDP", 604800}};  // what each mapping tells
};

// Nothing here goes through our own gateway client, so nothing is recorded: the router's
// lease is told, no renewal promised.
std::string OutOfRange(const char* port)
{
    return "Port " + std::string(port) + " cannot be opened: a port is a number from 1 to 65535. Choose a port in that range.";
}
const std::string kNoService = "This machine's port forwarding service could not be started. Restart the machine, then try again.";

const Row kRows[] = {
    {"both", kOk, "FNTtNUu", {kWeek}},
    {"tcp_then_a_blank_line", kOk, "FNTt", {kWeek}, {}, {L"kavro", L"10.0.0.5", L"8080", L"TRUE", L"FALSE", L""}},
    {"only_exact_TRUE", kOk, "FNUu", {kWeek}, {}, Command(L"8080", L"true")},
    {"port_read_like_wcstol", kOk, "FNTt", {"The router keeps port 80 open for 7 days."}, {}, Command(L"  80abc", L"TRUE", L"FALSE")},
    {"port_0", kInvalid, "F", {OutOfRange("0")}, {}, Command(L"0")},
    {"port_65536", kInvalid, "F", {OutOfRange("65536")}, {}, Command(L"65536")},
    {"port_past_32_bits", kInvalid, "F", {OutOfRange("2147483647")}, {}, Command(L"4294975376")},  // 2^32 + 8080, held at the edge
    {"incomplete", "Incomplete forward command", "", {}, {}, {L"kavro", L"10.0.0.5", L"8080", L"TRUE"}},
    {"no_protocol", "No protocol selected", "", {}, {}, Command(L"8080", L"FALSE", L"false")},
    {"com_fails", "Failed to initialize COM library. This should not happen", "", {}, {}, Command(L"8080"),
     [](FakePlatform&) { comrt::InjectCoInitializeFailure(E_FAIL); }},
    {"for_2_hours", kOk, "FNTtNUu", {"The router keeps port 8080 open for 2 hours."}, {}, Command(L"8080"), nullptr,
     {{"TCP", 7200}, {"UDP", 7199}}},
    {"lease_0_until_restart", kOk, "FNTtNUu", {"The router keeps port 8080 open until it restarts."}, {}, Command(L"8080"),
     nullptr, {{"TCP", 0}, {"UDP", 0}}},
    {"shorter_lease_of_two", kOk, "FNTtNUu", {"The router keeps port 8080 open for 1 hour."}, {}, Command(L"8080"), nullptr,
     {{"TCP", 0}, {"UDP", 3599}}},
    {"only_the_asked_protocol", kOk, "FNUu", {"The router keeps port 8080 open for 2 minutes."}, {}, Command(L"8080", L"FALSE"),
     nullptr, {{"TCP", 30}, {"UDP", 119}}},
    {"lease_untold", kOk, "FNTtNUu", {}, {{"get_LeaseSeconds", F}}},
    {"tcp_refused_udp_made", kInvalid, "FNTNUu", {kPartly}, {{"Add TCP", F}}},
    {"udp_refused_tcp_made", kInvalid, "FNTtNU",
     {"Port 8080 was opened on the router for TCP only, not for UDP. If the program needs only TCP, tick only TCP; else fix "
      "the cause above and try again."},
     {{"Add UDP", F}}},
    {"tcp_not_let_in_udp_let_in", kNotOpened, "FNTtNUu", {}, {{"OpenPorts.Add TCP", F}}},
    {"udp_not_let_in", kNotOpened, "FNTtNUu", {}, {{"OpenPorts.Add UDP", F}}},
    {"tcp_refused_udp_not_let_in", kNotOpened, "FNTNUu", {kPartly}, {{"Add TCP", F}, {"OpenPorts.Add UDP", F}}},
    {"firewall_off", kOk, "FNTNU", {kWeek}, {{"get_FirewallEnabled", Null}}},
    {"firewall_state_unread", kOk, "FNTNU", {kWeek}, {{"get_FirewallEnabled", F}}},
    {"entry_there", kOk, "FNTNUu", {kWeek}, {}, Command(L"8080"), TcpEntryThere},
    {"disabled_entry_there", kOk, "FNTtNUu", {kWeek}, {{"get_Enabled", Null}}, Command(L"8080"), TcpEntryThere},
    {"entry_state_unread", kNotOpened, "FNTNUu", {}, {{"get_Enabled", F}}, Command(L"8080"), TcpEntryThere},
    {"create_nat_fails", kInvalid, "FNN", {kNoService}, {{"CoCreateInstance UPnPNAT", F}}},
    {"create_nat_null", kInvalid, "FNN", {kNoService}, {{"CoCreateInstance UPnPNAT", Null}}},
    {"collection_fails", kInvalid, "FNN", {kNoService}, {{"get_StaticPortMappingCollection", F}}},
    {"collection_null", kInvalid, "FNN", {}, {{"get_StaticPortMappingCollection", Null}}},
    {"add_mapping_fails", kInvalid, "FNTNU", {}, {{"Add ", F}}},
    {"add_mapping_null", kInvalid, "FNTNU", {}, {{"Add ", Null}}},
    {"create_manager_fails", kAdmin, "FNTNU", {}, {{"CoCreateInstance NetFwMgr", F}}},
    {"policy_fails", kAdmin, "FNTNU", {}, {{"get_LocalPolicy", F}}},
    {"policy_null", kAdmin, "FNTNU", {}, {{"get_LocalPolicy", Null}}},
    {"profile_fails", kAdmin, "FNTNU", {}, {{"get_CurrentProfile", F}}},
    {"open_ports_fails", kNotOpened, "FNTNU", {}, {{"get_GloballyOpenPorts", F}}},
    {"lookup_fails", kOk, "FNTtNUu", {kWeek}, {{"Item", F}}},
    {"create_entry_fails", kNotOpened, "FNTNU", {}, {{"CoCreateInstance NetFwOpenPort", F}}},
    {"create_entry_null", kNotOpened, "FNTNU", {}, {{"CoCreateInstance NetFwOpenPort", Null}}},
    {"put_port_fails", kNotOpened, "FNTNU", {}, {{"put_Port", F}}},
    {"put_protocol_fails", kNotOpened, "FNTNU", {}, {{"put_Protocol", F}}},
    {"put_name_fails", kNotOpened, "FNTNU", {}, {{"put_Name", F}}},
    {"add_entry_fails", kNotOpened, "FNTtNUu", {}, {{"OpenPorts.Add", F}}},
};

void PrintTo(const Row& row, std::ostream* out) { *out << row.name; }

class Forward : public ::testing::TestWithParam<Row> {
protected:
    void SetUp() override
    {
        std::filesystem::current_path(scratch.path);
        comrt::ResetRuntimeForTests();
        platform.Register();
    }
    void TearDown() override
    {
        std::filesystem::current_path(scratch.path.parent_path());
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
    // The record of forwards, which a forward holds from its start, in the scratch folder.
    const ScratchStateHome scratch;
};

TEST_P(Forward, WritesItsResultLineAndEachHeadlineOnce)
{
    const Row& row = GetParam();
    platform.outcomes = row.outcomes;
    platform.leases = row.leases;
    if (row.arrange) row.arrange(platform);
    ::testing::internal::CaptureStderr();
    RunForwardCommand(row.command);
    std::istringstream stderrText(::testing::internal::GetCapturedStderr());
    EXPECT_EQ(Contents("log.txt"), row.result + "\n");
    EXPECT_EQ(Trace(row.command), row.trace);
    const std::string marker = kHeadlineMarker;
    std::vector<std::string> headlines;
    for (std::string line; std::getline(stderrText, line);)
        if (line.rfind(marker, 0) == 0 &&
            std::find(headlines.begin(), headlines.end(), line.substr(marker.size())) == headlines.end())
            headlines.push_back(line.substr(marker.size()));
    EXPECT_EQ(headlines, row.headlines);
}

INSTANTIATE_TEST_SUITE_P(Rows, Forward, ::testing::ValuesIn(kRows),
                         [](const ::testing::TestParamInfo<Row>& info) { return info.param.name; });

} // namespace
