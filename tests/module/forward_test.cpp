// The "kavro" command against the fake gateway and firewall: the result line, what was
// mapped and let in, and the developers' lines of Varneth, for every way a call can go
// wrong, and the headlines the forward itself writes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cwchar>
#include <fstream>

#include "platform/com/com_api.h"
#include "fake_firewall.h"
#include "fake_gateway.h"
#include "fake_platform.h"
#include "forward/forward_command.h"
#include "scratch_folder.h"
#include "tell.h"

namespace {

const std::string kOk = "0", kInvalid = "Invalid IP",
                  kNotOpened = "Firewall initialized well, but failed to open ports on it.";
constexpr Outcome F = Outcome::Fails;
using firewall::Status;

std::vector<std::wstring> Command(const wchar_t* port, const wchar_t* tcp = L"TRUE", const wchar_t* udp = L"TRUE")
{
    return {L"kavro", L"10.0.0.5", port, tcp, udp};
}

const std::string kKept = "Port 8080 is kept open: renewed every hour; it closes by itself within 2 hours if this machine "
                          "stops renewing.";
const std::string kPartly = "Port 8080 was opened on the router for UDP only, not for TCP. If the program needs only UDP, "
                            "tick only UDP; else fix the cause above and try again.";
// Not mapped, let in all the same: what completes the job.
const std::string kLetInRouter = "This machine's firewall now lets port 8080 in. Opening port 8080 in the router's own "
                                 "settings, for this machine's address, completes the job.";

struct Row {
    const char* name;
    std::string result;
    std::string trace;                   // see Trace
    std::vector<std::string> headlines;  // distinct, in order, as the window shows them
    std::map<std::string, Outcome> outcomes = {};
    std::vector<std::wstring> command = Command(L"8080");
    void (*arrange)(FakeFirewall&) = nullptr;
    std::map<Protocol, std::optional<long long>> leases = {{Protocol::Tcp, 7200}, {Protocol::Udp, 7200}};
    std::vector<std::string> varnethLines = {};  // Varneth's on standard output, in order
};

constexpr auto Tcp = Protocol::Tcp, Udp = Protocol::Udp;
const std::string kAddFailed = "Varneth::Add Collection->Add failed";

std::string OutOfRange(const char* port)
{
    return "Port " + std::string(port) + " cannot be opened: a port is a number from 1 to 65535. Choose a port in that range.";
}

const Row kRows[] = {
    {"tcp_then_a_blank_line", kOk, "FNTt", {kKept}, {}, {L"kavro", L"10.0.0.5", L"8080", L"TRUE", L"FALSE", L""}},
    {"only_exact_TRUE", kOk, "FNUu", {kKept}, {}, Command(L"8080", L"true")},
    {"port_read_like_wcstol", kOk, "FNTt", {"Port 80 is kept open: renewed every hour; it closes by itself within 2 hours "
     "if this machine stops renewing."}, {}, Command(L"  80abc", L"TRUE", L"FALSE")},
    {"port_0", kInvalid, "F", {OutOfRange("0")}, {}, Command(L"0"), nullptr, {}, {kAddFailed, kAddFailed}},
    {"port_65536", kInvalid, "F", {OutOfRange("65536")}, {}, Command(L"65536"), nullptr, {}, {kAddFailed, kAddFailed}},
    {"port_past_32_bits", kInvalid, "F", {OutOfRange("2147483647")}, {}, Command(L"4294975376"), nullptr, {},  // 2^32 + 8080, held at the edge
     {kAddFailed, kAddFailed}},
    {"incomplete", "Incomplete forward command", "", {}, {}, {L"kavro", L"10.0.0.5", L"8080", L"TRUE"}},
    {"no_protocol", "No protocol selected", "", {}, {}, Command(L"8080", L"FALSE", L"false")},
    {"com_fails", "Failed to initialize COM library. This should not happen", "", {}, {}, Command(L"8080"),
     [](FakeFirewall&) { comrt::InjectCoInitializeFailure(E_FAIL); }},
    {"shorter_lease_of_two", kOk, "FNTtNUu", {"Port 8080 is kept open: renewed every 30 minutes; it closes by itself "
     "within 1 hour if this machine stops renewing."}, {}, Command(L"8080"), nullptr, {{Tcp, 0}, {Udp, 3599}}},
    {"only_the_asked_protocol", kOk, "FNUu", {"Port 8080 is kept open: renewed every minute; it closes by itself within "
     "2 minutes if this machine stops renewing."}, {}, Command(L"8080", L"FALSE"), nullptr, {{Tcp, 30}, {Udp, 119}}},
    {"lease_untold", kOk, "FNTtNUu", {}, {}, Command(L"8080"), nullptr, {{Tcp, std::nullopt}, {Udp, 7200}}},
    // Each protocol's firewall step is taken whatever became of its mapping.
    {"udp_refused_tcp_made", kInvalid, "FNTtNUu",
     {"Port 8080 was opened on the router for TCP only, not for UDP. If the program needs only TCP, tick only TCP; else fix "
      "the cause above and try again.", kLetInRouter},
     {{"Add UDP", F}}, Command(L"8080"), nullptr, {}, {kAddFailed}},
    {"tcp_refused_udp_not_let_in", kNotOpened, "FNTtNUu", {kPartly, kLetInRouter}, {{"Add TCP", F}}, Command(L"8080"),
     [](FakeFirewall& f) { f.answers = {{"OpenPort UDP", Status::TimedOut}}; }, {}, {kAddFailed}},
    {"firewall_state_unread", kOk, "FNTNU", {kKept}, {}, Command(L"8080"),
     [](FakeFirewall& f) { f.state = Status::AccessDenied; }},
};

void PrintTo(const Row& row, std::ostream* out) { *out << row.name; }

class Forward : public ::testing::TestWithParam<Row> {
protected:
    void SetUp() override
    {
        std::filesystem::current_path(scratch.path);
        // The table is not about lingering: this tool's note that it turned it on
        // already keeps the first record from asking logind.
        std::filesystem::create_directories(scratch.Varneth());
        std::ofstream(scratch.Varneth() / "lingering-turned-on") << "on\n";
        comrt::ResetRuntimeForTests();
        gateway.asked = [this](const std::string& call) { return platform.Log(call) == Outcome::Works; };
    }
    void TearDown() override
    {
        std::filesystem::current_path(scratch.path.parent_path());
        comrt::ResetRuntimeForTests();
    }
    // F: firewall opened, N: the gateway's mappings reached; T/U: mapping asked, t/u:
    // firewall asked to let it in, each as the command says.
    std::string Trace(const std::vector<std::wstring>& command) const
    {
        const std::string port = command.size() < 3 ? "" : std::to_string(std::wcstol(command[2].c_str(), nullptr, 10));
        std::string letters;
        for (const std::string& call : platform.calls) {
            if (call == "OpenFirewall") letters += 'F';
            if (call == "OpenCollection") letters += 'N';
            for (const std::string protocol : {"TCP", "UDP"}) {
                const std::string name = " 'HLMX " + port + " " + protocol + "'";
                if (call == "Add " + protocol + " " + port + "->10.0.0.5:" + port + name) letters += protocol[0];
                if (call == "OpenPort " + protocol + " " + port + name) letters += char(std::tolower(protocol[0]));
            }
        }
        return letters;
    }
    FakePlatform platform;
    FakeGateway gateway;
    FakeFirewall firewall{platform.calls};
    // The record of forwards, which a forward holds from its start, in the scratch folder.
    const ScratchStateHome scratch;
};

TEST_P(Forward, WritesItsResultLineAndEachHeadlineOnce)
{
    const Row& row = GetParam();
    platform.outcomes = row.outcomes;
    gateway.leases = row.leases;
    if (row.arrange) row.arrange(firewall);
    ::testing::internal::CaptureStderr();
    ::testing::internal::CaptureStdout();
    RunForwardCommand(row.command, {L"10.0.0.5"}, [this](gateway::GatewaySession&) {
        VarnethPlatform fake;
        fake.nat.push_back(std::make_unique<FakeGateway>(gateway));
        fake.firewall = firewall.Factory();
        fake.enterApartment = [] { return SUCCEEDED(CoInitialize(nullptr)); };
        return fake;
    });
    std::istringstream stdoutText(::testing::internal::GetCapturedStdout());
    std::istringstream stderrText(::testing::internal::GetCapturedStderr());
    std::vector<std::string> varnethLines;
    for (std::string line; std::getline(stdoutText, line);)
        if (line.rfind("Varneth::", 0) == 0) varnethLines.push_back(line);
    EXPECT_EQ(varnethLines, row.varnethLines);
    EXPECT_EQ(Contents("log.txt"), row.result + "\n");
    EXPECT_EQ(Trace(row.command), row.trace);
    std::vector<std::string> headlines;
    for (std::string line; std::getline(stderrText, line);) {
        // ">>[id] text", or ">> text" from a part not yet telling from its catalogue.
        const std::size_t textAt = line.rfind(">>[", 0) == 0 ? line.find("] ") + 2 : line.rfind(">> ", 0) == 0 ? 3 : 0;
        if (textAt > 0 && std::find(headlines.begin(), headlines.end(), line.substr(textAt)) == headlines.end())
            headlines.push_back(line.substr(textAt));
    }
    EXPECT_EQ(headlines, row.headlines);
}

INSTANTIATE_TEST_SUITE_P(Rows, Forward, ::testing::ValuesIn(kRows),
                         [](const ::testing::TestParamInfo<Row>& info) { return info.param.name; });

} // namespace
