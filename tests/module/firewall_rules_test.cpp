// What the machine's own rules do with a packet to one of our ports: nftables' rules, as
// `nft -j list ruleset` prints them (captured from nft 1.0.6), and which of firewalld's rich
// rules, as firewalld lists them, refuse a port.
#include <gtest/gtest.h>

#include <tuple>

#include "firewall/linux/firewalld/rich_rule.h"
#include "firewall/linux/nftables/nft_filter.h"
#include "firewall/linux/nftables/nft_ruleset.h"

namespace firewall {
namespace {

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
