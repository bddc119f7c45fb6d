// This machine's firewall: how its managers are asked together, the system bus where nothing
// listens, and what its own rules do with a packet to one of our ports: nftables' rules, as
// `nft -j list ruleset` prints them (captured from nft 1.0.6), and which of firewalld's rich
// rules, as firewalld lists them, refuse a port. ufw: the rules already there, the rule's name
// as ufw is given it, what the helper that pkexec runs as root takes, and what each way of
// failing tells the user.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <tuple>

#include "fake_firewall.h"
#include "firewall/firewall_opener.h"
#include "firewall/linux/every_firewall.h"
#include "firewall/linux/firewalld/rich_rule.h"
#include "firewall/linux/nftables/nft_filter.h"
#include "firewall/linux/nftables/nft_ruleset.h"
#include "firewall/linux/system_bus.h"
#include "firewall/linux/ufw/ufw_command.h"
#include "firewall/linux/ufw/ufw_helper.h"
#include "firewall/linux/ufw/ufw_manager.h"
#include "firewall/linux/ufw/ufw_rules.h"
#include "scratch_folder.h"

namespace firewall {
namespace {

// One manager as EveryFirewall meets it: on or off, whether it lets port 80 in already,
// what its calls answer instead (as FakeFirewall::answers).
struct Script {
    bool on, open = false;
    std::map<std::string, Status> answers = {};
};

// Three fakes, two found on the machine and the fallback, each with its own log; the
// second keeps a name for what it lets in, the first none.
struct Managers {
    explicit Managers(const Script (&scripts)[3])
    {
        for (int i = 0; i < 3; ++i) {
            fakes[i].on = scripts[i].on;
            fakes[i].answers = scripts[i].answers;
            if (scripts[i].open) fakes[i].entries["TCP 80"] = i == 1 ? "HLMX 80 TCP" : "";
        }
    }
    EveryFirewall Every()
    {
        std::vector<NamedManager> found;
        found.push_back({"ufw", fakes[0].Manager()});
        found.push_back({"firewalld", fakes[1].Manager()});
        return EveryFirewall(std::move(found), [this] { return NamedManager{"nftables", fakes[2].Manager()}; });
    }
    std::vector<std::string> calls[3];
    FakeFirewall fakes[3]{FakeFirewall{calls[0]}, FakeFirewall{calls[1]}, FakeFirewall{calls[2]}};
};

const PortRequest kPort80{80, Protocol::Tcp, Family::Ipv4, L"HLMX 80 TCP", "10.0.0.5"};

TEST(EveryFirewall, LetsThePortInThroughEachThatIsOn)
{
    constexpr Status Ok = Status::Ok, NotFound = Status::NotFound, Failed = Status::Failed;
    const struct {
        const char* name;
        Script scripts[3];  // the first, the second, the fallback
        Status found, opening;  // the answers of EveryFirewall
        bool enabled;
        std::vector<int> opened;
    } cases[] = {
        {"one has it already", {{true, true}, {true}, {true}}, NotFound, Ok, true, {0, 1, 0}},
        {"both have it", {{true, true}, {true, true}, {true}}, Ok, Ok, true, {0, 0, 0}},
        {"the first refuses, the second is still asked", {{true, false, {{"OpenPort", Failed}}}, {true}, {true}},
         NotFound, Failed, true, {1, 1, 0}},
        {"none on, nor the fallback", {{false}, {false}, {false}}, NotFound, Ok, false, {0, 0, 0}},
    };
    for (const auto& each : cases) {
        Managers managers(each.scripts);
        EveryFirewall every = managers.Every();
        ASSERT_EQ(every.OpenProfile(), Status::Ok) << each.name;
        EXPECT_EQ(every.Enabled(), each.enabled) << each.name;
        if (!each.enabled) continue;
        const FirewallManager::Found found = every.FindOpenPort(kPort80);
        EXPECT_EQ(found.status, each.found) << each.name;
        if (each.found == Status::Ok) {
            EXPECT_EQ(found.name, "HLMX 80 TCP") << each.name << ": the name of the first that keeps one";
            continue;
        }
        EXPECT_EQ(every.OpenPort(kPort80).status, each.opening) << each.name;
        const auto opens = [](const std::string& call) { return call.rfind("OpenPort", 0) == 0; };
        std::vector<int> opened;
        for (const auto& log : managers.calls) opened.push_back(int(std::count_if(log.begin(), log.end(), opens)));
        EXPECT_EQ(opened, each.opened) << each.name;
    }
}

// Once the gateway opened the pinholes: the firewall's own rule where it keeps one per
// family, and what still keeps the port closed, named for each firewall that is on and
// said once for both protocols.
TEST(EveryFirewall, LetsInOverIpv6WhatThePinholesOpened)
{
    // The name, whether the first and the second are on, the first's profile and opening (ufw's, which keeps a
    // rule per family), and what keeps the port closed.
    const std::tuple<const char*, bool, bool, Status, Status, std::vector<std::string>> cases[] = {
        {"each keeps it closed", true, true, Status::Ok, Status::AccessDenied, {"ufw: no rule", "firewalld: a chain"}},
        {"one off", false, true, Status::Ok, Status::Ok, {"firewalld: a chain"}},
        {"the firewall unread", true, true, Status::AccessDenied, Status::Ok,
         {"the firewall could not be read; try again as a user who may read it"}},
    };
    for (const auto& [name, firstOn, secondOn, profile, opening, closed] : cases) {
        Managers managers({{firstOn, false, {{"OpenProfile", profile}, {"OpenPort", opening}}}, {secondOn}, {false}});
        managers.fakes[0].familiesApart = true;
        if (opening != Status::Ok) managers.fakes[0].gaps = {"no rule"};
        managers.fakes[1].gaps = {"a chain"};
        const FirewallOverIpv6 opened = OpenFirewallOverIpv6(
            [&managers] { return std::make_unique<EveryFirewall>(managers.Every()); }, 8080,
            {Protocol::Tcp, Protocol::Udp}, "10.0.0.5");
        EXPECT_TRUE(opened.entriesMade.empty()) << name;
        EXPECT_EQ(opened.closed, closed) << name;
    }
}

// Nothing listening where the system bus should be is no bus, not a failure to report.
TEST(SystemBus, NoneWhereNothingListens)
{
    const std::filesystem::path nowhere =
        std::filesystem::temp_directory_path() / ("kavro-bus-" + std::to_string(::getpid()) + ".none");
    ::setenv("DBUS_SYSTEM_BUS_ADDRESS", ("unix:path=" + nowhere.string()).c_str(), 1);
    Status status = Status::Ok;
    EXPECT_EQ(SystemBus::Connect(Clock::now() + std::chrono::seconds(9), status), nullptr);
    EXPECT_EQ(status, Status::NotFound);
    ::unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
}

constexpr const char* kHead = R"({"nftables": [{"metainfo": {"version": "1.0.6", "json_schema_version": 1}})";

// Only the JSON nft prints: no other text, and nothing nested past what nft nests.
TEST(NftRuleset, ReadsOnlyWhatNftPrints)
{
    const auto nested = [](std::size_t depth) {
        return R"({"nftables": [)" + std::string(depth, '[') + std::string(depth, ']') + "]}";
    };
    const std::pair<std::string, bool> cases[] = {
        {std::string(kHead) + "]}", true}, {nested(60), true},   {nested(100000), false}, {"", false},
        {R"({"nftables": [1,]})", false},  {R"({"nftables": 1})", false}, {R"({"tables": []})", false},
        {"{}", false}, {R"({"nftables": {}})", false}, {"Error: Operation not permitted", false},
        {R"({"nftables": [{"rule": {"family": "ip", "table": "t", "chain": "none", "expr": []}}]})", false},
    };
    for (const auto& [text, read] : cases) EXPECT_EQ(NftRuleset::Read(text).has_value(), read) << text.substr(0, 40);
}

// Inbound dropped (or accepted) but for the LAN's own senders, loopback and replies, then `rules`.
std::string LanOnly(const std::string& rules, const std::string& policy = "drop")
{
    return std::string(kHead) + R"(, {"table": {"family": "inet", "name": "own", "handle": 1}},
 {"chain": {"family": "inet", "table": "own", "name": "input", "handle": 1, "type": "filter", "hook": "input", "prio": 0, "policy": ")" + policy + R"("}},
 {"rule": {"family": "inet", "table": "own", "chain": "input", "handle": 2, "expr": [{"match": {"op": "in", "left": {"ct": {"key": "state"}}, "right": ["established", "related"]}}, {"accept": null}]}},
 {"rule": {"family": "inet", "table": "own", "chain": "input", "handle": 3, "expr": [{"match": {"op": "==", "left": {"meta": {"key": "iif"}}, "right": "lo"}}, {"accept": null}]}},
 {"rule": {"family": "inet", "table": "own", "chain": "input", "handle": 4, "expr": [{"match": {"op": "==", "left": {"payload": {"protocol": "ip", "field": "saddr"}}, "right": {"prefix": {"addr": "10.77.0.0", "len": 24}}}}, {"accept": null}]}})" +
           rules + "]}";
}

std::string Rule(const std::string& expr)
{
    return R"(, {"rule": {"family": "inet", "table": "own", "chain": "input", "handle": 9, "expr": [)" + expr + "]}}";
}

// Accepting by default: senders of 192.0.2.0/24 dropped, the chain "allowed" (UDP 53,
// TCP of the named set) jumped to, and then TCP to any port but 22 rejected.
const std::string kJumpsAndSets = std::string(kHead) + R"(, {"table": {"family": "ip", "name": "own", "handle": 1}},
 {"set": {"family": "ip", "name": "open", "table": "own", "type": "inet_service", "handle": 3, "flags": ["interval"], "elem": [443, {"range": [8000, 8100]}]}},
 {"chain": {"family": "ip", "table": "own", "name": "allowed", "handle": 1}},
 {"chain": {"family": "ip", "table": "own", "name": "input", "handle": 2, "type": "filter", "hook": "input", "prio": 0, "policy": "accept"}},
 {"rule": {"family": "ip", "table": "own", "chain": "allowed", "handle": 4, "expr": [{"match": {"op": "==", "left": {"payload": {"protocol": "udp", "field": "dport"}}, "right": 53}}, {"accept": null}]}},
 {"rule": {"family": "ip", "table": "own", "chain": "allowed", "handle": 5, "expr": [{"match": {"op": "==", "left": {"payload": {"protocol": "tcp", "field": "dport"}}, "right": "@open"}}, {"accept": null}]}},
 {"rule": {"family": "ip", "table": "own", "chain": "allowed", "handle": 6, "expr": [{"return": null}]}},
 {"rule": {"family": "ip", "table": "own", "chain": "input", "handle": 7, "expr": [{"match": {"op": "==", "left": {"payload": {"protocol": "ip", "field": "saddr"}}, "right": {"prefix": {"addr": "192.0.2.0", "len": 24}}}}, {"drop": null}]}},
 {"rule": {"family": "ip", "table": "own", "chain": "input", "handle": 8, "expr": [{"jump": {"target": "allowed"}}]}},
 {"rule": {"family": "ip", "table": "own", "chain": "input", "handle": 9, "expr": [{"match": {"op": "!=", "left": {"payload": {"protocol": "tcp", "field": "dport"}}, "right": 22}}, {"counter": {"packets": 0, "bytes": 0}}, {"reject": {"type": "icmp", "expr": "port-unreachable"}}]}}]})";

// The same, with the jump a goto: what the chain "allowed" leaves goes to the policy.
const std::string kGoto = [] {
    std::string text = kJumpsAndSets;
    return text.replace(text.find(R"({"jump")"), 7, R"({"goto")");
}();

const std::string kIpv6Only = std::string(kHead) + R"(, {"chain": {"family": "ip6", "table": "t", "name": "input", "handle": 1, "type": "filter", "hook": "input", "prio": 0, "policy": "drop"}}]})";

struct PortCase {
    const char* name;
    std::string ruleset;
    int port;
    Protocol protocol;
    const char* dropping;  // "" when let in
    Family family = Family::Ipv4;
};

TEST(NftRuleset, TellsWhichChainDropsThePort)
{
    const std::string lowOr18000 = LanOnly(Rule(
        R"({"match": {"op": "==", "left": {"payload": {"protocol": "th", "field": "dport"}}, "right": {"set": [{"range": [1, 1023]}, 18000]}}}, {"accept": null})"));
    const PortCase cases[] = {
        {"the range's end", lowOr18000, 1023, Protocol::Tcp, ""},
        {"outside the set", lowOr18000, 1024, Protocol::Tcp, "inet own input"},
        {"TCP's rule meets no UDP", LanOnly(Rule(R"({"match": {"op": "==", "left": {"payload": {"protocol": "tcp", "field": "dport"}}, "right": 18000}}, {"accept": null})")), 18000, Protocol::Udp, "inet own input"},
        {"l4proto and dport", LanOnly(Rule(R"({"match": {"op": "==", "left": {"meta": {"key": "l4proto"}}, "right": {"set": ["tcp", "udp"]}}}, {"match": {"op": "==", "left": {"payload": {"protocol": "th", "field": "dport"}}, "right": 18000}}, {"counter": null}, {"accept": null})")), 18000, Protocol::Udp, ""},
        {"only for some senders", LanOnly(Rule(R"({"match": {"op": "==", "left": {"payload": {"protocol": "ip", "field": "saddr"}}, "right": "198.51.100.7"}}, {"match": {"op": "==", "left": {"payload": {"protocol": "tcp", "field": "dport"}}, "right": 18000}}, {"accept": null})")), 18000, Protocol::Tcp, "inet own input"},
        {"new connections accepted", LanOnly(Rule(R"({"match": {"op": "in", "left": {"ct": {"key": "state"}}, "right": "new"}}, {"accept": null})")), 18000, Protocol::Tcp, ""},
        {"dropped unless on loopback", LanOnly(Rule(R"({"match": {"op": "!=", "left": {"meta": {"key": "iifname"}}, "right": "lo"}}, {"match": {"op": "==", "left": {"payload": {"protocol": "tcp", "field": "dport"}}, "right": 18000}}, {"drop": null})"), "accept"), 18000, Protocol::Tcp, "inet own input"},
        {"dropped only for some senders", LanOnly(Rule(R"({"match": {"op": "==", "left": {"payload": {"protocol": "ip", "field": "saddr"}}, "right": "198.51.100.7"}}, {"drop": null})"), "accept"), 18000, Protocol::Tcp, ""},
        {"a match we cannot read", LanOnly(Rule(R"({"xt": {"type": "match", "name": "recent"}}, {"accept": null})")), 18000, Protocol::Tcp, "inet own input"},
        {"a named set", kJumpsAndSets, 8050, Protocol::Tcp, ""},
        {"rejected after the jump returns", kJumpsAndSets, 9000, Protocol::Tcp, "ip own input"},
        {"spared by the reject", kJumpsAndSets, 22, Protocol::Tcp, ""},
        {"the reject meets no UDP", kJumpsAndSets, 9000, Protocol::Udp, ""},
        {"after a goto, the policy", kGoto, 9000, Protocol::Tcp, ""},
        // Over IPv6: ip6 and inet chains meet the packet, ip chains do not; a match of IPv4
        // senders meets no IPv6 packet.
        {"an ip chain is of IPv4 alone", kJumpsAndSets, 9000, Protocol::Tcp, "", Family::Ipv6},
        {"an inet chain's policy, the LAN's IPv4 senders aside", LanOnly(""), 18000, Protocol::Tcp, "inet own input", Family::Ipv6},
        {"an inet chain's accept", LanOnly(Rule(R"({"match": {"op": "==", "left": {"payload": {"protocol": "tcp", "field": "dport"}}, "right": 18000}}, {"accept": null})")), 18000, Protocol::Tcp, "", Family::Ipv6},
    };
    for (const PortCase& each : cases) {
        const auto ruleset = NftRuleset::Read(each.ruleset);
        ASSERT_TRUE(ruleset) << each.name;
        EXPECT_EQ(ruleset->DroppingChain(each.port, each.protocol, each.family), each.dropping) << each.name;
    }
}

// An input chain of the family's own, or of inet.
TEST(NftRuleset, FiltersOnlyWithAnInputChainOfTheFamily)
{
    const std::tuple<std::string, bool, bool> cases[] = {
        {std::string(kHead) + "]}", false, false}, {kIpv6Only, false, true}, {LanOnly(""), true, true},
        {kJumpsAndSets, true, false},
    };
    for (const auto& [json, ipv4, ipv6] : cases) {
        EXPECT_EQ(NftRuleset::Read(json)->FiltersInput(), ipv4) << json;
        EXPECT_EQ(NftRuleset::Read(json)->FiltersInput(Family::Ipv6), ipv6) << json;
    }
}

// Rules nft did not give whole are not known: never "off", and never repeated on
// standard error, where the window shows them.
TEST(NftFilter, RulesNotReadAreUncheckedAndNotRepeated)
{
    const std::string rules = LanOnly("");
    using End = ProcessOutcome::End;
    const std::pair<const char*, ProcessOutcome> rows[] = {  // what the run of nft came to
        {"more than is read", {End::Exited, 0, 0, rules, true}},
        {"no JSON", {End::Exited, 0, 0, "table inet own {\n\tchain input {", false}},
        {"nft fails", {End::Exited, 1, 0, "Error: cannot read\n" + rules, false}},
        {"no answer in time", {End::TimedOut, -1, 0, rules.substr(0, 100), false}},
    };
    for (const auto& [name, outcome] : rows) {
        NftFilter filter([&outcome = outcome](auto&&...) { return outcome; }, RunDeadline());
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(filter.OpenProfile(), Status::Ok) << name;
        const std::string told = ::testing::internal::GetCapturedStderr();
        EXPECT_NE(filter.StateRead(), Status::Ok) << name;
        EXPECT_FALSE(filter.Enabled()) << name;
        EXPECT_NE(told.find("packet filter could not be checked"), std::string::npos) << name << ": " << told;
        EXPECT_EQ(told.find("chain input"), std::string::npos) << name << ": " << told;
        EXPECT_EQ(told.find("metainfo"), std::string::npos) << name << ": " << told;
    }
}

TEST(RichRule, RefusesOnlyThePortFromEverySender)
{
    const std::tuple<const char*, int, Protocol, bool> cases[] = {
        {R"(rule family="ipv4" port port="18301" protocol="tcp" reject)", 18302, Protocol::Tcp, false},
        {R"(rule port port="18000-18400" protocol="udp" drop)", 18301, Protocol::Udp, true},
        {R"(rule port port="18000-18400" protocol="udp" drop)", 18401, Protocol::Udp, false},
        {R"(rule family="ipv4" port port="18301" protocol="tcp" log prefix="no way" level="info" reject type="icmp-host-prohibited")", 18301, Protocol::Tcp, true},
        {R"(rule family="ipv4" protocol value="tcp" drop)", 18301, Protocol::Tcp, true},
        {R"(rule family="ipv4" protocol value="tcp" drop)", 18301, Protocol::Udp, false},
        {R"(rule family="ipv4" destination address="10.77.0.2" port port="18301" protocol="tcp" reject)", 18301, Protocol::Tcp, true},
        {R"(rule family="ipv6" port port="18301" protocol="tcp" reject)", 18301, Protocol::Tcp, false},
        {R"(rule family="ipv4" source NOT address="192.0.2.0/24" port port="18301" protocol="tcp" drop)", 18301, Protocol::Tcp, false},
        {R"(rule family="ipv4" port port="18301" protocol="tcp" accept)", 18301, Protocol::Tcp, false},
        {R"(rule family="ipv4" forward-port port="18301" protocol="tcp" to-port="22")", 18301, Protocol::Tcp, false},
        {R"(rule family="ipv4" source-port port="18301" protocol="tcp" drop)", 18301, Protocol::Tcp, false},
        {R"(rule family="ipv4" port port="x" protocol="tcp" drop)", 18301, Protocol::Tcp, false},
    };
    for (const auto& [rule, port, protocol, refuses] : cases)
        EXPECT_EQ(RichRuleRefuses(rule, port, protocol), refuses) << rule << " " << port << LowerName(protocol);
}

// Nothing in a name may reach ufw as an option, a quote, a word its parser looks for,
// or a character that changes how the text around it shows.
TEST(Ufw, NamesAreCleaned)
{
    const std::pair<std::wstring, std::string> cases[] = {
        {L"HLMX 8080 TCP", "HLMX 8080 TCP"}, {L"it's", "its"}, {L"say \"hi\"", "say hi"}, {L"a\tb\nc\rd", "abcd"},
        {L"a\x7f\x85\x2028\x2029z", "az"}, {L"--rootdir=/tmp/x", "rootdir=/tmp/x"}, {L" - x - ", "x -"},
        {L"in", ""}, {L"out", ""}, {L"log", ""}, {L"log-all", ""}, {L"'in'", ""}, {L"In", "In"}, {L"login", "login"},
        {L"\x00dcn\x00ef \x20ac", "\xc3\x9cn\xc3\xaf \xe2\x82\xac"},
        // Bidirectional overrides and isolates, zero-width and soft hyphen, tags, the byte order mark.
        {L"HLMX \x202e" L"PCT", "HLMX PCT"}, {L"a\x200f\x2066\x2069\x200b\x00ad" L"b", "ab"},
        {L"a\xfeff\x0600\x061c\xe0041\x1d173z", "az"},
        // Letters of other scripts and a symbol beyond the first plane stay.
        {L"\x05d0\x0628 \x1d11e", "\xd7\x90\xd8\xa8 \xf0\x9d\x84\x9e"},
    };
    for (const auto& [name, clean] : cases) EXPECT_EQ(CleanUfwName(name), clean) << ::testing::PrintToString(clean);
}

TEST(Ufw, HelperTakesOnlyAPortAProtocolAFamilyAndACleanName)
{
    const std::string longest(kMaxHelperNameBytes, 'n');
    const std::pair<std::vector<std::string>, bool> cases[] = {
        {{"8080", "tcp", "ipv4", "HLMX 8080 TCP"}, true}, {{"1", "udp", "ipv6"}, true},
        {{"65535", "tcp", "ipv4", longest}, true}, {{"80", "tcp", "ipv6", "\xc3\x9cn"}, true},
        {{"0", "tcp", "ipv4"}, false}, {{"65536", "tcp", "ipv4"}, false}, {{"+80", "tcp", "ipv4"}, false},
        {{"80", "tcp/udp", "ipv4"}, false}, {{"80", "TCP", "ipv4"}, false},
        // The family exactly as written, and always given.
        {{"80", "tcp"}, false}, {{"80", "tcp", "HLMX 80 TCP"}, false}, {{"80", "tcp", "IPv6"}, false},
        {{"80", "tcp", "ipv6 "}, false},
        // A name only as the cleaning above leaves it (each character it drops is a row there).
        {{"80", "tcp", "ipv4", longest + "n"}, false}, {{"80", "tcp", "ipv4", "it's"}, false},
        {{"80", "tcp", "ipv4", "\xff"}, false}, {{"80", "tcp", "ipv4", ""}, false}, {{"80"}, false},
        {{"80", "tcp", "ipv4", "x", "y"}, false},
        {{"delete", "8080", "tcp", "ipv6"}, true}, {{"delete", "8080", "tcp"}, false}, {{"delete", "8080"}, false},
        {{"delete", "0", "tcp", "ipv4"}, false}, {{"delete", "8080", "tcp", "ipv4", "HLMX 8080 TCP"}, false},
        {{"delete", "8080", "any", "ipv4"}, false}, {{"delete", "8080", "tcp", "ipv5"}, false}, {{"delete"}, false},
    };
    for (const auto& [arguments, taken] : cases)
        EXPECT_EQ(ReadHelperArguments(arguments).has_value(), taken) << ::testing::PrintToString(arguments);
    const auto request = ReadHelperArguments({"8080", "udp", "ipv6", "HLMX 8080 UDP"});
    ASSERT_TRUE(request);
    EXPECT_EQ(std::tie(request->remove, request->port, request->protocol, request->family, request->name),
              std::make_tuple(false, 8080, Protocol::Udp, Family::Ipv6, std::wstring(L"HLMX 8080 UDP")));
    const auto removal = ReadHelperArguments({"delete", "8080", "tcp", "ipv4"});
    ASSERT_TRUE(removal);
    EXPECT_EQ(std::tie(removal->remove, removal->port, removal->protocol, removal->family),
              std::make_tuple(true, 8080, Protocol::Tcp, Family::Ipv4));
}

std::string Tuple(const std::string& rule) { return "### tuple ### " + rule + "\n-A ufw-user-input -j ACCEPT\n"; }

// The rules an administrator may have for port 8080: which of them decides it.
TEST(Ufw, RulesAlreadyThereDecideThePort)
{
    constexpr Protocol Tcp = Protocol::Tcp, Udp = Protocol::Udp;
    using V = UfwVerdict;
    const std::string any4 = " 0.0.0.0/0 any 0.0.0.0/0 in";
    // user.rules, user6.rules, the protocol asked, the verdict and the deciding rule's action.
    const std::tuple<std::string, std::string, Protocol, UfwVerdict, std::string> cases[] = {
        {Tuple("limit_log tcp 8080" + any4), "", Tcp, V::LetIn, "limit_log"},
        {Tuple("allow_log-all any 8000:8100" + any4 + " comment=6869"), "", Udp, V::LetIn, "allow_log-all"},
        {Tuple("allow tcp 22,8080 0.0.0.0/0 any 0.0.0.0/0 OpenSSH - in"), "", Tcp, V::LetIn, "allow"},
        {Tuple("limit tcp 8080" + any4), "", Udp, V::Undecided, ""},
        // IPv4: the first that decides; IPv6 only refuses.
        {Tuple("deny tcp 8080" + any4) + Tuple("allow tcp 8080" + any4), "", Tcp, V::Refused, "deny"},
        {Tuple("allow tcp 8080" + any4) + Tuple("deny tcp 8080" + any4), "", Tcp, V::LetIn, "allow"},
        {"", Tuple("reject_log any 8080 ::/0 any ::/0 in_eth0"), Udp, V::Refused, "reject_log"},
        // Not for everyone, not incoming, or routed: such rules decide nothing here.
        {Tuple("deny any 8080 0.0.0.0/0 any 1.2.3.4 in"), Tuple("deny any 8080 ::/0 any 2001:db8::1 in"), Tcp,
         V::Undecided, ""},
        {Tuple("deny tcp 8080 0.0.0.0/0 1024 0.0.0.0/0 in"), "", Tcp, V::Undecided, ""},
        {Tuple("allow tcp 8080" + any4 + "_eth0") + Tuple("allow tcp 8080 10.0.0.1 any 0.0.0.0/0 in"), "", Tcp,
         V::Undecided, ""},
        {Tuple("deny tcp 8080 0.0.0.0/0 any 0.0.0.0/0 out") + Tuple("route:deny tcp 8080" + any4), "", Tcp,
         V::Undecided, ""},
        {Tuple("deny tcp 8081" + any4) + Tuple("deny tcp 8070:8079" + any4), "", Tcp, V::Undecided, ""},
    };
    for (const auto& [ipv4, ipv6, protocol, verdict, action] : cases) {
        const UfwDecision decision = DecidePort(ParseUfwRules(ipv4), ParseUfwRules(ipv6), 8080, protocol);
        EXPECT_EQ(decision.verdict, verdict) << ipv4 << ipv6;
        EXPECT_EQ(decision.rule.action, action) << ipv4 << ipv6;
        EXPECT_EQ(decision.ipv6, ipv4.empty() && verdict == V::Refused) << ipv4 << ipv6;
    }
}

// A scratch /etc/ufw: enabled, with the rules given; its files are left out for a
// user who may not read them.
struct UfwDirectory : ScratchFolder {
    UfwDirectory() { std::ofstream(path / "ufw.conf") << "ENABLED=yes\n"; }
    UfwFiles Files(const std::string& ipv4, const std::string& ipv6, bool readable) const
    {
        std::ofstream(path / "user.rules") << ipv4;
        std::ofstream(path / "user6.rules") << ipv6;
        const std::filesystem::path rules = readable ? path : path / "unreadable";
        return UfwFiles{(path / "ufw.conf").string(), (rules / "user.rules").string(), (rules / "user6.rules").string()};
    }
};

ProcessOutcome Exited(int code, std::string output = "")
{
    return {ProcessOutcome::End::Exited, code, 0, std::move(output), false};
}

// The headlines of standard error (">>[id] text"), each as its text.
std::string Headlines(const std::string& stderrText)
{
    std::istringstream lines(stderrText);
    std::string line, headlines;
    while (std::getline(lines, line))
        if (line.rfind(">>[", 0) == 0) headlines += line.substr(line.find("] ") + 2) + "\n";
    return headlines;
}

constexpr const char* kHelper = "/opt/port tool/kavro-ufw-allow";


const std::string kUfwAllow = "/usr/sbin/ufw allow from 0.0.0.0/0 to any port 8080 proto tcp comment HLMX 8080 TCP";
const std::string kPkexecAllow = std::string("/usr/bin/pkexec --disable-internal-agent ") + kHelper +
                                 " 8080 tcp ipv4 HLMX 8080 TCP";

// Root runs ufw; anyone else pkexec and the helper. What each answer comes to: the
// status, the command run (none when a rule already there decides), the headline. ufw
// keeps a rule per family: ours over IPv6 is added unless a rule of user6.rules lets the
// port in, and is found and removed by its name alone; over IPv6 the gap says why, and
// the IPv4 forward's headlines are not repeated.
TEST(Ufw, OpeningFindingAndClosingKeepEveryRuleAndTellWhy)
{
    const std::string own6 = Tuple("allow tcp 8080 ::/0 any ::/0 in comment=484c4d58203830383020544350");
    const std::string admin6 = Tuple("allow tcp 8080 ::/0 any ::/0 in");
    enum class Step { Open, Open6, Find6, Close6 };
    struct Case {
        const char* name;
        Step step;
        bool root;  // else a user, who may not read the rules
        std::string ipv4, ipv6;
        Status status;
        ProcessOutcome answer = Exited(0);
        std::string ran = "", headline = "";
        bool asks = false;  // polkit lets the helper run once a person gives a password
    } const cases[] = {
        // Reached when the caller did not look first.
        {"root: a limit stays", Step::Open, true, Tuple("limit tcp 8080 0.0.0.0/0 any 0.0.0.0/0 in"), "", Status::AlreadyOpen},
        {"root: ufw fails", Step::Open, true, "", "", Status::Failed, Exited(1, "ERROR: problem running\n"), kUfwAllow,
         "The firewall (ufw) did not let port 8080 in"},
        {"user: the helper's ufw held", Step::Open, false, "", "", Status::TimedOut, Exited(5), kPkexecAllow, "Time ran out"},
        {"user: the helper refused", Step::Open, false, "", "", Status::Failed, Exited(2), kPkexecAllow,
         "did not let port 8080 in"},
        {"user: not authorized", Step::Open, false, "", "", Status::AccessDenied,
         Exited(127, "Error executing command as another user: Not authorized\n\nThis incident has been reported.\n"),
         kPkexecAllow, "You are not allowed to change the firewall; ask an administrator."},
        {"user: the dialog closed", Step::Open, false, "", "", Status::AccessDenied,
         Exited(126, "Error executing command as another user: Request dismissed\n"), kPkexecAllow,
         "The password dialog was closed"},
        // pkexec ended where the password wait ends: not ufw's time running out.
        {"user: the password not given in time", Step::Open, false, "", "", Status::AccessDenied,
         {ProcessOutcome::End::TimedOut, -1, 0, {}, false}, kPkexecAllow,
         "The administrator's password was not given in time", true},
        {"an administrator's allow suffices over IPv6", Step::Open6, true, "", admin6, Status::AlreadyOpen},
        {"ours found by its name", Step::Find6, true, "", own6, Status::Ok},
        {"an administrator's allow is not ours", Step::Find6, true, "", admin6, Status::NotFound},
        {"unread rules cannot tell", Step::Find6, false, "", "", Status::AccessDenied},
        // None of ours there: said so, and the administrator's rule stays.
        {"an administrator's allow stays", Step::Close6, true, "", admin6, Status::NotFound},
    };
    for (const Case& c : cases) {
        UfwDirectory etc;
        std::vector<std::string> ran;
        // ufw or pkexec: each command line kept, and the row's answer given back, but to "ufw status".
        const auto recording = [&](const std::vector<std::string>& argv, const std::vector<std::string>&, Deadline) {
            std::string line;
            for (const std::string& word : argv) line += (line.empty() ? "" : " ") + word;
            ran.push_back(line);
            return argv.at(1) == "status" ? Exited(0, "Status: active\n") : c.answer;
        };
        std::optional<PkexecRoute> route;  // root runs ufw itself
        if (!c.root) route = PkexecRoute{kHelper, [asks = c.asks](bool& asksPassword) {
                                             asksPassword = asks;
                                             return Status::Ok;
                                         }};
        UfwManager ufw(etc.Files(c.ipv4, c.ipv6, c.root), recording, RunDeadline(), route);
        ASSERT_EQ(ufw.OpenProfile(), Status::Ok) << c.name;
        ran.clear();  // root's "ufw status"
        ::testing::internal::CaptureStderr();
        const PortRequest request{8080, Protocol::Tcp, c.step == Step::Open ? Family::Ipv4 : Family::Ipv6, L"HLMX 8080 TCP", ""};
        const Status status = c.step == Step::Find6    ? ufw.FindOwnPort(request)
                              : c.step == Step::Close6 ? ufw.ClosePort(request)
                                                       : ufw.OpenPort(request).status;
        const std::string stderrText = ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(status, c.status) << c.name;
        EXPECT_EQ(ran, c.ran.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.ran}) << c.name;
        const std::string headlines = Headlines(stderrText);
        EXPECT_EQ(headlines.empty(), c.headline.empty()) << c.name << ": " << stderrText;
        EXPECT_NE(headlines.find(c.headline), std::string::npos) << c.name << ": " << stderrText;
    }
}

// No answer from polkit about the helper (its action not installed) is the headline before
// any port.
TEST(Ufw, PolkitWithoutAnAnswerIsTheHeadlineBeforeAnyPort)
{
    UfwDirectory etc;
    UfwManager ufw(etc.Files("", "", false), [](auto&&...) { return Exited(0); }, RunDeadline(),
                   PkexecRoute{kHelper, [](bool&) { return Status::Failed; }});
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(ufw.OpenProfile(), Status::Failed);
    EXPECT_EQ(Headlines(::testing::internal::GetCapturedStderr()),
              "The firewall (ufw) could not be read; the details below say why. Ask an administrator to look at ufw.\n");
}

// pkexec started by a window run from a terminal must not find the terminal to ask on.
TEST(Ufw, ProgramsRunInASessionOfTheirOwn)
{
    const ProcessOutcome outcome =
        RunProcess({"/bin/sh", "-c", "[ \"$(cut -d' ' -f6 /proc/$$/stat)\" = $$ ]"}, {}, RunDeadline());
    EXPECT_EQ(outcome.end, ProcessOutcome::End::Exited);
    EXPECT_EQ(outcome.exitCode, 0) << outcome.output;
}

} // namespace
} // namespace firewall
