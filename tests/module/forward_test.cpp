// The "kavro" command against the fake gateway and firewall classes: the result line
// and what was mapped and opened, for every way a platform call can go wrong; and
// after each, no COM object or BSTR left alive.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <ostream>
#include <sstream>

#include "com/com_api.h"
#include "fake_platform.h"
#include "forward_command.h"

namespace {

const std::string kOk = "0", kInvalid = "Invalid IP",
                  kAdmin = "Failed to initialize firewall. Try running with proper admin privileges.",
                  kNotOpened = "Firewall initialized well, but failed to open ports on it.";

const std::vector<std::wstring> kCommand = {L"kavro", L"10.0.0.5", L"8080", L"TRUE", L"TRUE"};

std::vector<std::wstring> Port(const wchar_t* port) { return {L"kavro", L"10.0.0.5", port, L"TRUE", L"FALSE"}; }

struct Row {
    const char* name;
    std::string result;
    // The additions in order: T and U mapped on the gateway, t and u offered to the firewall.
    std::string additions;
    void (*arrange)(FakePlatform&) = nullptr;
    std::vector<std::wstring> command = kCommand;
    std::string stderrHas = {};  // a sentence the run's standard error holds
    std::string stdoutIs = {};   // the diagnostics, when the row says
};

void PrintTo(const Row& row, std::ostream* out) { *out << row.name; }

#define FAILS(call) [](FakePlatform& p) { p.call = Outcome::Fails; }
#define NULLED(call) [](FakePlatform& p) { p.call = Outcome::LeavesNull; }

const Row kRows[] = {
    {"both", kOk, "TtUu"},
    {"tcp", kOk, "Tt", nullptr, {L"kavro", L"10.0.0.5", L"8080", L"TRUE", L"FALSE", L""}},
    {"only_exact_TRUE", kOk, "Uu", nullptr, {L"kavro", L"10.0.0.5", L"8080", L"true", L"TRUE"}},
    {"port_read_like_wcstol", kOk, "Tt", nullptr, Port(L"  80abc")},
    {"port_minus_5", kInvalid, "", nullptr, Port(L"-5"),
     "TCP -5 was not asked for: a port is a number from 1 to 65535.\n",
     "fwd 10.0.0.5 port:-5\nVarneth::Add Collection->Add failed\n"},
    {"port_past_32_bits", kInvalid, "", nullptr, Port(L"99999999999"), "", "fwd 10.0.0.5 port:2147483647\nVarneth::Add Collection->Add failed\n"},
    {"port_0", kInvalid, "", nullptr, Port(L"0")},
    {"port_65536", kInvalid, "", nullptr, Port(L"65536")},
    {"port_70000", kInvalid, "", nullptr, Port(L"70000")},
    {"tcp_refused_udp_made", kInvalid, "TUu", [](FakePlatform& p) { p.refuseMapping = "TCP"; }, kCommand,
     "TCP 8080 is not let in through the firewall, since the gateway did not map it.\n"},
    {"udp_refused_tcp_made", kInvalid, "TtU", [](FakePlatform& p) { p.refuseMapping = "UDP"; }, kCommand,
     "UDP 8080 is not let in through the firewall, since the gateway did not map it.\n"},
    {"tcp_not_let_in_udp_let_in", kNotOpened, "TtUu", [](FakePlatform& p) { p.refuseProtocol = NET_FW_IP_PROTOCOL_TCP; }},
    {"tcp_refused_udp_not_let_in", kNotOpened, "TUu",
     [](FakePlatform& p) { p.refuseMapping = "TCP", p.refuseProtocol = NET_FW_IP_PROTOCOL_UDP; }, kCommand,
     "The firewall did not let UDP 8080 in (status 0x80004005).\n"},
    {"incomplete", "Incomplete forward command", "", nullptr, {L"kavro", L"10.0.0.5", L"8080", L"TRUE"}},
    {"no_protocol", "No protocol selected", "", nullptr, {L"kavro", L"10.0.0.5", L"8080", L"FALSE", L"false"}},
    {"com_fails", "Failed to initialize COM library. This should not happen", "",
     [](FakePlatform&) { comrt::InjectCoInitializeFailure(E_FAIL); }},
    {"firewall_off", kOk, "TU", [](FakePlatform& p) { p.firewallEnabled = false; }},
    {"firewall_refuses_udp", kNotOpened, "TtUu", [](FakePlatform& p) { p.refuseProtocol = NET_FW_IP_PROTOCOL_UDP; }},
    {"entry_there", kOk, "TUu", [](FakePlatform& p) { p.openPorts[{8080, NET_FW_IP_PROTOCOL_TCP}] = {L"x", true}; }},
    {"disabled_entry_there", kOk, "TtUu", [](FakePlatform& p) { p.openPorts[{8080, 6}] = {L"x", false}; }},
    {"create_nat_fails", kInvalid, "", FAILS(createNat)},
    {"create_nat_null", kInvalid, "", NULLED(createNat)},
    {"collection_fails", kInvalid, "", FAILS(getCollection)},
    {"collection_null", kInvalid, "", NULLED(getCollection), kCommand,
     "No UPnP Internet gateway was found.\nTCP 8080 is not mapped on the gateway.\n"},
    {"add_mapping_fails", kInvalid, "TU", FAILS(addMapping)},
    {"add_mapping_null", kInvalid, "TU", NULLED(addMapping)},
    {"create_manager_fails", kAdmin, "TU", FAILS(createManager)},
    {"create_manager_null", kAdmin, "TU", NULLED(createManager)},
    {"policy_fails", kAdmin, "TU", FAILS(getLocalPolicy)},
    {"policy_null", kAdmin, "TU", NULLED(getLocalPolicy)},
    {"profile_fails", kAdmin, "TU", FAILS(getCurrentProfile)},
    {"profile_null", kAdmin, "TU", NULLED(getCurrentProfile)},
    {"enabled_read_fails", kOk, "TU", FAILS(getFirewallEnabled)},
    {"open_ports_fails", kNotOpened, "TU", FAILS(getOpenPorts)},
    {"open_ports_null", kNotOpened, "TU", NULLED(getOpenPorts)},
    {"lookup_fails", kOk, "TtUu", FAILS(itemLookup)},
    {"entry_enabled_read_fails", kNotOpened, "TUu",
     [](FakePlatform& p) { p.openPorts[{8080, 6}] = {L"x", true}, p.getPortEnabled = Outcome::Fails; }},
    {"create_entry_fails", kNotOpened, "TU", FAILS(createOpenPort)},
    {"create_entry_null", kNotOpened, "TU", NULLED(createOpenPort)},
    {"put_port_fails", kNotOpened, "TU", FAILS(putPort)},
    {"put_protocol_fails", kNotOpened, "TU", FAILS(putProtocol)},
    {"put_name_fails", kNotOpened, "TU", FAILS(putName)},
    {"add_entry_fails", kNotOpened, "TtUu", FAILS(addOpenPort)},
};

class Forward : public ::testing::TestWithParam<Row> {
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
    std::string Additions() const
    {
        std::string letters;
        for (const std::string& call : platform.calls) {
            if (call.rfind("Add TCP", 0) == 0) letters += 'T';
            if (call.rfind("Add UDP", 0) == 0) letters += 'U';
            if (call.rfind("OpenPorts.Add ", 0) == 0) letters += call.find(" 6 '") != std::string::npos ? 't' : 'u';
        }
        return letters;
    }
    static std::string Result()
    {
        std::ostringstream bytes;
        bytes << std::ifstream("log.txt").rdbuf();
        return bytes.str();
    }
    FakePlatform platform;
    std::filesystem::path scratch;
};

TEST_P(Forward, WritesItsResultLine)
{
    if (GetParam().arrange) GetParam().arrange(platform);
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    RunForwardCommand(GetParam().command);
    const std::string errors = ::testing::internal::GetCapturedStderr();
    const std::string output = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(Result(), GetParam().result + "\n");
    EXPECT_EQ(Additions(), GetParam().additions);
    EXPECT_NE(errors.find(GetParam().stderrHas), std::string::npos) << errors;
    if (!GetParam().stdoutIs.empty()) {
        EXPECT_EQ(output, GetParam().stdoutIs);
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, Forward, ::testing::ValuesIn(kRows),
                         [](const ::testing::TestParamInfo<Row>& info) { return info.param.name; });

TEST_F(Forward, MapsAndOpensUnderTheMappingsNameAndSaysSo)
{
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    RunForwardCommand(kCommand);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "The firewall is on.\n"
              "TCP 8080 -> 10.0.0.5:8080 mapped on the gateway; users on the Internet connect to 11.77.0.1:8080.\n"
              "The firewall now lets TCP 8080 in, as \"HLMX 8080 TCP\".\n"
              "UDP 8080 -> 10.0.0.5:8080 mapped on the gateway; users on the Internet connect to 11.77.0.1:8080.\n"
              "The firewall now lets UDP 8080 in, as \"HLMX 8080 UDP\".\n"
              "Reachable at 11.77.0.1:8080\n");
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "fwd 10.0.0.5 port:8080\nprot both\n");
    std::vector<std::string> additions = platform.CallsStartingWith("Add ");
    for (const std::string& call : platform.CallsStartingWith("OpenPorts.Add ")) additions.push_back(call);
    EXPECT_EQ(additions, (std::vector<std::string>{"Add TCP 8080->10.0.0.5:8080 'HLMX 8080 TCP' enabled=1",
                                                   "Add UDP 8080->10.0.0.5:8080 'HLMX 8080 UDP' enabled=1",
                                                   "OpenPorts.Add 8080 6 'HLMX 8080 TCP'",
                                                   "OpenPorts.Add 8080 17 'HLMX 8080 UDP'"}));
}

} // namespace
