// The module's commands against the fake gateway and firewall. The "kavro" command: the
// result line, what was mapped and let in, and the developers' lines of Varneth, for every
// way a call can go wrong, and the headlines the forward itself writes. renew, list and close
// on the record, against one scripted gateway and firewall: what each sends, what it keeps,
// and the first reason it gives.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cwchar>
#include <fstream>
#include <map>
#include <tuple>

#include "platform/com/com_api.h"
#include "fake_firewall.h"
#include "fake_gateway.h"
#include "forward/forward_command.h"
#include "record/lasting_forwards.h"
#include "sample_forwards.h"
#include "scratch_folder.h"
#include "tell.h"

namespace {

const std::string kOk = "0", kInvalid = "Invalid IP",
                  kNotOpened = "Firewall initialized well, but failed to open ports on it.";
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
    std::string refused = "";            // the start of the gateway call that fails
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
    {"tcp_refused_udp_not_let_in", kNotOpened, "FNTtNUu", {kPartly, kLetInRouter}, "Add TCP", Command(L"8080"),
     [](FakeFirewall& f) { f.answers = {{"OpenPort UDP", Status::TimedOut}}; }, {}, {kAddFailed}},
    {"firewall_state_unread", kOk, "FNTNU", {kKept}, {}, Command(L"8080"),
     [](FakeFirewall& f) { f.state = Status::AccessDenied; }},
};

// F: firewall opened, N: the gateway's mappings reached; T/U: mapping asked, t/u: firewall
// asked to let it in, each as the command says.
std::string Trace(const std::vector<std::string>& calls, const std::vector<std::wstring>& command)
{
    const std::string port = command.size() < 3 ? "" : std::to_string(std::wcstol(command[2].c_str(), nullptr, 10));
    std::string letters;
    for (const std::string& call : calls) {
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

TEST(Forward, WritesItsResultLineAndEachHeadlineOnce)
{
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.name);
        // The record of forwards, which a forward holds from its start, in the scratch folder. The table is
        // not about lingering: this tool's note that it turned it on keeps the first record from asking logind.
        const ScratchStateHome scratch;
        std::ofstream(scratch.Varneth() / "lingering-turned-on") << "on\n";
        std::filesystem::current_path(scratch.path);
        comrt::ResetRuntimeForTests();
        std::vector<std::string> calls;  // the gateway's and the firewall's, in order
        FakeGateway gateway;
        gateway.asked = [&calls, &row](const std::string& call) {
            calls.push_back(call);
            return row.refused.empty() || call.rfind(row.refused, 0) != 0;
        };
        gateway.leases = row.leases;
        FakeFirewall firewall{calls};
        if (row.arrange) row.arrange(firewall);
        ::testing::internal::CaptureStderr();
        ::testing::internal::CaptureStdout();
        RunForwardCommand(row.command, {L"10.0.0.5"}, [&](gateway::GatewaySession&) {
            VarnethPlatform fake;
            fake.nat.push_back(std::make_unique<FakeGateway>(gateway));
            fake.firewall = firewall.Factory();
            fake.enterApartment = [] { return SUCCEEDED(CoInitialize(nullptr)); };
            return fake;
        });
        std::istringstream stdoutText(::testing::internal::GetCapturedStdout());
        std::istringstream stderrText(::testing::internal::GetCapturedStderr());
        std::filesystem::current_path(scratch.path.parent_path());
        comrt::ResetRuntimeForTests();
        std::vector<std::string> varnethLines;
        for (std::string line; std::getline(stdoutText, line);)
            if (line.rfind("Varneth::", 0) == 0) varnethLines.push_back(line);
        EXPECT_EQ(varnethLines, row.varnethLines);
        EXPECT_EQ(Contents(scratch.path / "log.txt"), row.result + "\n");
        EXPECT_EQ(Trace(calls, row.command), row.trace);
        std::vector<std::string> headlines;
        for (std::string line; std::getline(stderrText, line);) {
            // ">>[id] text", or ">> text" from a part not yet telling from its catalogue.
            const std::size_t textAt =
                line.rfind(">>[", 0) == 0 ? line.find("] ") + 2 : line.rfind(">> ", 0) == 0 ? 3 : 0;
            if (textAt > 0 && std::find(headlines.begin(), headlines.end(), line.substr(textAt)) == headlines.end())
                headlines.push_back(line.substr(textAt));
        }
        EXPECT_EQ(headlines, row.headlines);
    }
}

using Listed = gateway::EntryClient::Listed;

// The firewall, of ufw's kind (a rule per family): off, so that every entry lets its
// port in, unless a test says otherwise.
struct Firewall {
    Firewall()
    {
        fake.on = false;
        fake.familiesApart = true;
    }
    // The entries removed: "TCP 8080 'HLMX 8080 TCP'".
    std::vector<std::string> Removed() const
    {
        std::vector<std::string> removed;
        for (const std::string& call : calls)
            if (call.rfind("ClosePort ", 0) == 0) removed.push_back(call.substr(10));
        return removed;
    }
    std::vector<std::string> calls;
    FakeFirewall fake{calls};
    EntryFirewall entries{fake.Factory()};
};

const Surroundings kHere{kHome, {"192.168.1.5"}, kNow};

TEST(Renew, AsksOnlyWhenDueOrGone)
{
    using H = gateway::Holding;
    // The name, the change to the entry, what the gateway holds, its calls, whether the grant is now.
    const std::tuple<const char*, void (*)(RecordedForward&), std::map<int, H>, std::vector<std::string>, bool>
        rows[] = {
        {"HourlyCheckFindsItHeld", [](RecordedForward& f) { f.checkedAt = kNow - 3600; }, {{8080, H::Held}},
         {"OnThisDevice 8080", "Holds 8080"}, false},
        // The system's NAT object's week-long lease: renewed an hour before its end, not at its half.
        {"SystemsWeekNotAtItsHalf",
         [](RecordedForward& f) { f = Entry(8080, Method::System); f.grant.lease = 604800; f.grant.grantedAt = kNow - 302400; },
         {}, {}, false},
        {"SystemsWeekAnHourBeforeItsEnd",
         [](RecordedForward& f) { f = Entry(8080, Method::System); f.grant.lease = 604800; f.grant.grantedAt = kNow - 601200; },
         {}, {"OnThisDevice 8080", "Renew 8080"}, true},
        {"NoEndIsOnlyChecked", [](RecordedForward& f) { f.grant.lease = 0; f.grant.grantedAt = 0; f.checkedAt = kNow - 7200; },
         {{8080, H::Held}}, {"OnThisDevice 8080", "Holds 8080"}, false},
        {"PinholeBesideAnAddressNoLongerHeld",
         [](RecordedForward& f) { f = Pinhole(8080); f.grant.forwardAddress = "192.168.1.9"; f.grant.grantedAt = 0; }, {}, {}, false},
        // What a close let go on the router is never asked for again, though the record kept it.
        {"BeingClosedNeverAskedAgain", [](RecordedForward& f) { f.closing = true; f.grant.grantedAt = 0; }, {}, {}, false},
    };
    // The identity of the gateway is learnt without asking: its UDN is empty then.
    Surroundings here = kHere;
    here.gateway.udn.clear();
    for (const auto& [name, change, holding, calls, renewed] : rows) {
        std::vector<RecordedForward> forwards{Entry(8080)};
        change(forwards[0]);
        FakeGateway gateway;
        gateway.holding = holding;
        Firewall firewall;
        EXPECT_EQ(RenewForwards(forwards, gateway, firewall.entries, here), "") << name;
        EXPECT_EQ(gateway.calls, calls) << name;
        ASSERT_EQ(forwards.size(), 1u) << name;
        EXPECT_EQ(forwards[0].grant.grantedAt == kNow, renewed) << name;
    }
}

TEST(RenewFailure, GivesTheFirstReasonAndGoesOnWithTheRest)
{
    std::vector<RecordedForward> forwards{Entry(7000), Entry(8080), Entry(9000)};
    for (RecordedForward& f : forwards) f.grant.grantedAt = 0;
    FakeGateway gateway;
    gateway.refuses = {{7000, true}, {8080, true}};
    Firewall firewall;
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(RenewForwards(forwards, gateway, firewall.entries, kHere), "refused 7000");
    const std::string told = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(told.find("refused 8080\n"), std::string::npos) << told;
    EXPECT_EQ(forwards.size(), 3u);
    EXPECT_EQ(forwards[2].grant.grantedAt, kNow);
}

// The firewall entry is only read: one sentence for an entry that is gone, and nothing
// asked of a forward that made none or of entries elsewhere.
TEST(RenewFirewall, TellsOfAnEntryThatIsGoneWithoutMakingItAgain)
{
    std::vector<RecordedForward> forwards{Entry(7000), Entry(8080), Entry(9100), Entry(9200)};
    forwards[2].firewallEntry.clear();
    forwards[3].grant.gateway.address = "10.0.0.1";
    FakeGateway gateway;
    Firewall firewall;
    firewall.fake.on = true;
    firewall.fake.entries = {{"TCP 7000", "HLMX 7000 TCP"}};  // the others' are gone
    ::testing::internal::CaptureStderr();
    const std::string reason = RenewForwards(forwards, gateway, firewall.entries, kHere);
    const std::string told = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(reason, "The firewall entry \"HLMX 8080 TCP\" that let port 8080 in is gone, so the firewall may block "
                      "it. Forward the port again to open it.");
    EXPECT_NE(told.find(">>[record-entry-gone] " + reason + "\n"), std::string::npos) << told;
    for (const char* untouched : {"port 7000 in is gone", "port 9100 in is gone", "port 9200 in is gone"})
        EXPECT_EQ(told.find(untouched), std::string::npos) << untouched << " in " << told;
    EXPECT_TRUE(firewall.Removed().empty());
    EXPECT_TRUE(gateway.calls.empty());
}

TEST(List, GatewaysMappingsAndTheRecordsOthersInTheirFields)
{
    Listed ours{Entry(8080).grant, 7000};
    RecordedForward expired = Entry(9001, Method::Pcp);
    expired.grant.grantedAt = kNow - kAskedLease;
    RecordedForward elsewhere = Entry(9002, Method::NatPmp);
    elsewhere.grant.gateway.address = "10.0.0.1";
    // The gateway lists the system's object's mappings as UPnP ones; the record tells.
    Listed system{Entry(8082).grant, 3000};
    const std::vector<std::string> lines =
        ListLines({ours, system}, {Entry(8080), expired, elsewhere, Entry(8082, Method::System), Pinhole(8080)},
                  kHere);
    EXPECT_EQ(lines, (std::vector<std::string>{
                         "TCP\t8080\t192.168.1.5\t8080\tIPv4\tUPnP\t7000\tyes\tyes\tyes\tHLMX 8080 TCP",
                         "TCP\t8082\t192.168.1.5\t8082\tIPv4\tsystem\t3000\tyes\tyes\tyes\tHLMX 8082 TCP",
                         // The gateway does not list pinholes: the record does.
                         "TCP\t8080\t2001:db8:77::2\t8080\tIPv6\tUPnP\t6600\tyes\tyes\tno\t",
                     }));
}

TEST(CloseTargets, AreGroupsOfFourLines)
{
    const std::pair<const char*, std::vector<std::wstring>> rows[] = {  // the name, the lines
        {"NoGroup", {L"close", L""}},
        {"GroupCutShort", {L"close", L"192.168.1.5", L"8080", L"TRUE", L"FALSE", L"192.168.1.5", L""}},
        {"NoProtocol", {L"close", L"192.168.1.5", L"8080", L"FALSE", L"FALSE"}},
        {"PortOutOfRange", {L"close", L"192.168.1.5", L"70000", L"TRUE", L"FALSE"}},
        {"PortWithText", {L"close", L"192.168.1.5", L"80x", L"TRUE", L"FALSE"}},
        {"EmptyAddress", {L"close", L"", L"8080", L"TRUE", L"FALSE"}},
        {"AllThenAGroup", {L"close", L"all", L"192.168.1.5", L"8080", L"TRUE", L"FALSE"}},
    };
    // Each is refused, and none asks for everything the record holds; no group at all too,
    // never read as an empty list of targets.
    for (const auto& [name, lines] : rows) {
        EXPECT_FALSE(ReadCloseTargets(lines)) << name;
        EXPECT_FALSE(ClosesAll(lines)) << name;
    }
}

RecordedForward Named(RecordedForward f, const std::string& firewall)
{
    f.firewallEntry = firewall;
    return f;
}

// Made on another router at the home router's address, for `lifetime`.
RecordedForward Elsewhere(RecordedForward f, long long lifetime = kAskedLease)
{
    f.grant.gateway = {"uuid:cafe", "192.168.1.1", "02:00:00:00:00:99"};
    f.grant.lease = lifetime;
    return f;
}

// What is left as LeftOpenLines tells it: the forward on the home router, and its firewall entry.
std::string Left(const std::string& subject, const std::string& how)
{
    return subject + " on the router 192.168.1.1: " + how;
}
const std::string kTwoHoursLeft = "the router keeps it open for at most about 2 hours more, then closes it by itself.";
std::string EntryLeft(int port)
{
    const std::string p = std::to_string(port);
    return "The firewall entry \"HLMX " + p + " TCP\" stays; an administrator removes it with: sudo ufw delete allow "
           "from 0.0.0.0/0 to any port " + p + " proto tcp (ufw), or sudo firewall-cmd --remove-port=" + p +
           "/tcp, then the same with --permanent (firewalld)";
}

// Every write of the record is a call too: "Save" and each entry, c when marked closing.
TEST(Close, RemovesOnlyWhatTheToolMade)
{
    const struct {
        const char* name;
        std::vector<RecordedForward> record;
        std::map<int, bool> refuses;
        std::string reason;
        std::vector<std::string> calls;
        std::vector<std::string> removed;  // firewall entries
        std::size_t left;                  // entries left in the record
        std::vector<bool> saves = {};      // what each write answers; written when missing
        bool all = false;                  // the targets are all the record holds, not the address's 8080 TCP and UDP
        std::vector<std::string> leftOpen = {}; // what is told of the entries left, where given
    } rows[] = {
        {"AFirewallEntryNotOfOurNamesStays", {Named(Entry(8080), "Game server")}, {}, "",
         {"Save c", "Delete TCP 8080 192.168.1.5", "Read UDP 8080", "Save "}, {}, 0},
        {"ThisRoutersEntryBeforeAnothersForTheSamePort", {Elsewhere(Entry(8080)), Entry(8080)}, {}, "",
         {"Save -c", "Delete TCP 8080 192.168.1.5", "Read UDP 8080", "Save -"}, {"TCP 8080 'HLMX 8080 TCP'"}, 1},
        // The UDP pinhole's own firewall rule over IPv6 goes with it; its IPv4 side made nothing of
        // ours, so the router is not asked for another's (behind carrier-grade NAT it could not list).
        {"PinholesBesideTheForwardCloseWithIt", {Entry(8080), Pinhole(8080), Named(Pinhole(8080, Protocol::Udp), "HLMX 8080 UDP")},
         {}, "",
         {"Save ccc", "Delete TCP 8080 2001:db8:77::2", "Delete TCP 8080 192.168.1.5", "Delete UDP 8080 2001:db8:77::2",
          "Save "},
         {"TCP 8080 'HLMX 8080 TCP'", "UDP 8080 over IPv6 'HLMX 8080 UDP'"}, 0},
        {"RefusedKeepsPinholeAndForward", {Entry(8080), Pinhole(8080)}, {{8080, true}}, "refused 8080",
         {"Save cc", "Delete TCP 8080 2001:db8:77::2", "Delete TCP 8080 192.168.1.5", "Read UDP 8080", "Save --"}, {},
         2, {}, false,
         {Left("TCP 8080 to 192.168.1.5 (UPnP)", kTwoHoursLeft), EntryLeft(8080),
          Left("TCP 8080 to 2001:db8:77::2 (UPnP, IPv6 pinhole)", kTwoHoursLeft)}},
        {"PinholeOfAnotherForwardStays", {[] { auto f = Pinhole(8080); f.grant.forwardAddress = "192.168.1.9"; return f; }()},
         {}, "", {"Read TCP 8080", "Read UDP 8080"}, {}, 1},
        // Written after, or the record says what it still holds, none of which is renewed again.
        {"RecordNotWrittenAfterwardsSaysWhatItHolds", {Entry(8080), Entry(8080, Method::Upnp, Protocol::Udp)}, {},
         "The record of open ports could not be written once the router was asked, so it still lists TCP 8080 to "
         "192.168.1.5 (UPnP) and UDP 8080 to 192.168.1.5 (UPnP); none of them is renewed again.",
         {"Save cc", "Delete TCP 8080 192.168.1.5", "Delete UDP 8080 192.168.1.5", "Save "},
         {"TCP 8080 'HLMX 8080 TCP'", "UDP 8080 'HLMX 8080 UDP'"}, 0, {true, false}},
        // A pinhole goes with its forward's address; what is on another router is told and stays.
        // What stays is told with the time its router still keeps it: some, none left, or no end.
        {"AllOfTheRecord",
         {Entry(8080), Pinhole(8080), Entry(9000, Method::Pcp, Protocol::Udp), Elsewhere(Entry(7000)), Elsewhere(Entry(7001), 0),
          Elsewhere(Entry(7002), 600)},
         {}, "Port 7000 was opened on another router.",
         {"Save ccc---", "Delete TCP 8080 2001:db8:77::2", "Delete TCP 8080 192.168.1.5", "Delete UDP 9000 192.168.1.5",
          "Save ---"},
         {"TCP 8080 'HLMX 8080 TCP'", "UDP 9000 'HLMX 9000 UDP'"}, 3, {}, true,
         {Left("TCP 7000 to 192.168.1.5 (UPnP)", kTwoHoursLeft), EntryLeft(7000),
          Left("TCP 7001 to 192.168.1.5 (UPnP)",
               "the router keeps it open until it restarts, unless it is closed in the router's settings."),
          EntryLeft(7001), Left("TCP 7002 to 192.168.1.5 (UPnP)", "its time ran out, so the router has closed it by now."),
          EntryLeft(7002)}},
    };
    for (const auto& row : rows) {
        std::vector<RecordedForward> forwards = row.record;
        const std::vector<CloseTarget> targets =
            row.all ? RecordedTargets(forwards) : std::vector<CloseTarget>{{"192.168.1.5", 8080, {Protocol::Tcp, Protocol::Udp}}};
        FakeGateway gateway;
        gateway.refuses = row.refuses;
        Firewall firewall;
        std::size_t saved = 0;
        const auto save = [&] {
            std::string marks;
            for (const RecordedForward& f : forwards) marks += f.closing ? 'c' : '-';
            gateway.calls.push_back("Save " + marks);
            return saved < row.saves.size() ? row.saves[saved++] : true;
        };
        const std::string reason = CloseForwards(targets, forwards, gateway, firewall.entries, kHere, save);
        EXPECT_EQ(reason.rfind(row.reason, 0), 0u) << row.name << ": " << reason;
        EXPECT_EQ(reason.empty(), row.reason.empty()) << row.name;
        EXPECT_EQ(gateway.calls, row.calls) << row.name;
        EXPECT_EQ(firewall.Removed(), row.removed) << row.name;
        EXPECT_EQ(forwards.size(), row.left) << row.name;
        if (!row.leftOpen.empty()) {
            EXPECT_EQ(LeftOpenLines(forwards, kNow), row.leftOpen) << row.name;
        }
    }
}

} // namespace
