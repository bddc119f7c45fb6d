// This machine's firewall: how its managers are asked together, the system bus where nothing
// listens, and what its own rules do with a packet to one of our ports: nftables' rules, as
// `nft -j list ruleset` prints them (captured from nft 1.0.6), and which of firewalld's rich
// rules, as firewalld lists them, refuse a port.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <tuple>

#include "fake_firewall.h"
#include "firewall/firewall_opener.h"
#include "firewall/linux/every_firewall.h"
#include "firewall/linux/firewalld/rich_rule.h"
#include "firewall/linux/nftables/nft_filter.h"
#include "firewall/linux/nftables/nft_ruleset.h"
#include "firewall/linux/system_bus.h"

namespace firewall {
namespace {

// One manager as EveryFirewall meets it: on or off, whether it lets port 80 in already,
// what opening a port and its profile answer.
struct Script {
    bool on;
    bool open = false;
    Status opening = Status::Ok;
    Status profile = Status::Ok;
};

// Three fakes, two found on the machine and the fallback, each with its own log; the
// second keeps a name for what it lets in, the first none.
struct Managers {
    explicit Managers(const Script (&scripts)[3])
    {
        FakeFirewall* fakes[] = {&first, &second, &fallback};
        for (int i = 0; i < 3; ++i) {
            fakes[i]->on = scripts[i].on;
            fakes[i]->profile = scripts[i].profile;
            if (scripts[i].open) fakes[i]->entries["TCP 80"] = i == 1 ? "HLMX 80 TCP" : "";
            if (scripts[i].opening != Status::Ok) fakes[i]->answers["OpenPort"] = scripts[i].opening;
        }
    }
    EveryFirewall Every()
    {
        std::vector<NamedManager> found;
        found.push_back({"ufw", first.Manager()});
        found.push_back({"firewalld", second.Manager()});
        return EveryFirewall(std::move(found), [this] { return NamedManager{"nftables", fallback.Manager()}; });
    }
    int Opened(const FakeFirewall& fake) const
    {
        return int(std::count_if(fake.calls.begin(), fake.calls.end(),
                                 [](const std::string& call) { return call.rfind("OpenPort", 0) == 0; }));
    }
    std::vector<std::string> calls[3];
    FakeFirewall first{calls[0]}, second{calls[1]}, fallback{calls[2]};
};

const PortRequest kPort80{80, Protocol::Tcp, Family::Ipv4, L"HLMX 80 TCP", "10.0.0.5"};

TEST(EveryFirewall, LetsThePortInThroughEachThatIsOn)
{
    constexpr Status Ok = Status::Ok, NotFound = Status::NotFound, Failed = Status::Failed;
    const struct {
        const char* name;
        Script scripts[3];  // the first, the second, the fallback
        Status profile, found, opening;  // the answers of EveryFirewall
        bool enabled;
        int opened[3];
    } cases[] = {
        {"one has it already", {{true, true}, {true}, {true}}, Ok, NotFound, Ok, true, {0, 1, 0}},
        {"both have it", {{true, true}, {true, true}, {true}}, Ok, Ok, Ok, true, {0, 0, 0}},
        {"the first refuses, the second is still asked", {{true, false, Failed}, {true}, {true}}, Ok, NotFound, Failed,
         true, {1, 1, 0}},
        {"none on, nor the fallback", {{false}, {false}, {false}}, Ok, NotFound, Ok, false, {0, 0, 0}},
        {"a profile not had", {{true, false, Ok, Status::TimedOut}, {true}, {true}}, Status::TimedOut, NotFound, Ok,
         false, {0, 0, 0}},
    };
    for (const auto& each : cases) {
        Managers managers(each.scripts);
        EveryFirewall every = managers.Every();
        ASSERT_EQ(every.OpenProfile(), each.profile) << each.name;
        if (each.profile != Status::Ok) continue;
        EXPECT_EQ(every.Enabled(), each.enabled) << each.name;
        if (!each.enabled) continue;
        const FirewallManager::Found found = every.FindOpenPort(kPort80);
        EXPECT_EQ(found.status, each.found) << each.name;
        if (each.found == Status::Ok) {
            EXPECT_EQ(found.name, "HLMX 80 TCP") << each.name << ": the name of the first that keeps one";
            continue;
        }
        EXPECT_EQ(every.OpenPort(kPort80).status, each.opening) << each.name;
        EXPECT_EQ(std::make_tuple(managers.Opened(managers.first), managers.Opened(managers.second),
                                  managers.Opened(managers.fallback)),
                  std::make_tuple(each.opened[0], each.opened[1], each.opened[2]))
            << each.name;
    }
}

// Once the gateway opened the pinholes: the firewall's own rule where it keeps one per
// family, and what still keeps the port closed, named for each firewall that is on and
// said once for both protocols.
TEST(EveryFirewall, LetsInOverIpv6WhatThePinholesOpened)
{
    const struct {
        const char* name;
        bool firstOn, secondOn;
        Status profile, opening;  // the first's: ufw's, which keeps a rule per family
        std::vector<std::string> closed;
    } cases[] = {
        {"each keeps it closed", true, true, Status::Ok, Status::AccessDenied, {"ufw: no rule", "firewalld: a chain"}},
        {"one off", false, true, Status::Ok, Status::Ok, {"firewalld: a chain"}},
        {"none on", false, false, Status::Ok, Status::Ok, {}},
        {"the firewall unread", true, true, Status::AccessDenied, Status::Ok,
         {"the firewall could not be read; try again as a user who may read it"}},
    };
    for (const auto& each : cases) {
        Managers managers({{each.firstOn, false, each.opening, each.profile}, {each.secondOn}, {false}});
        managers.first.familiesApart = true;
        if (each.opening != Status::Ok) managers.first.gaps = {"no rule"};
        managers.second.gaps = {"a chain"};
        const FirewallOverIpv6 opened = OpenFirewallOverIpv6(
            [&managers] { return std::make_unique<EveryFirewall>(managers.Every()); }, 8080,
            {Protocol::Tcp, Protocol::Udp}, "10.0.0.5");
        EXPECT_TRUE(opened.entriesMade.empty()) << each.name;
        EXPECT_EQ(opened.closed, each.closed) << each.name;
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
        {"IPv6 alone is not ours", kIpv6Only, 18000, Protocol::Tcp, ""},
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
    const struct {
        const char* name;
        ProcessOutcome::End end;
        int exitCode;
        std::string output;
        bool cut;
    } rows[] = {
        {"more than is read", ProcessOutcome::End::Exited, 0, rules, true},
        {"no JSON", ProcessOutcome::End::Exited, 0, "table inet own {\n\tchain input {", false},
        {"nft fails", ProcessOutcome::End::Exited, 1, "Error: cannot read\n" + rules, false},
        {"no answer in time", ProcessOutcome::End::TimedOut, -1, rules.substr(0, 100), false},
    };
    for (const auto& row : rows) {
        NftFilter filter([&row](auto&&...) { return ProcessOutcome{row.end, row.exitCode, 0, row.output, row.cut}; },
                         RunDeadline());
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(filter.OpenProfile(), Status::Ok) << row.name;
        const std::string told = ::testing::internal::GetCapturedStderr();
        EXPECT_NE(filter.StateRead(), Status::Ok) << row.name;
        EXPECT_FALSE(filter.Enabled()) << row.name;
        EXPECT_NE(told.find("packet filter could not be checked"), std::string::npos) << row.name << ": " << told;
        EXPECT_EQ(told.find("chain input"), std::string::npos) << row.name << ": " << told;
        EXPECT_EQ(told.find("metainfo"), std::string::npos) << row.name << ": " << told;
    }
}

TEST(RichRule, RefusesOnlyThePortFromEverySender)
{
    const std::tuple<const char*, int, Protocol, bool> cases[] = {
        {R"(rule family="ipv4" port port="18301" protocol="tcp" reject)", 18301, Protocol::Tcp, true},
        {R"(rule family="ipv4" port port="18301" protocol="tcp" reject)", 18301, Protocol::Udp, false},
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

} // namespace
} // namespace firewall
