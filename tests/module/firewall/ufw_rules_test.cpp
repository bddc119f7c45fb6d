// user.rules as ufw 0.36 writes it, captured from a lab where these were run (most of
// the iptables lines between the tuples left out):
//   ufw allow 8080/tcp comment 'HLMX 8080 TCP'   ufw allow 6000:6007/udp
//   ufw allow 9000                               ufw allow from 10.0.0.0/8 to any port 7000 proto tcp
//   ufw allow in on veth0 to any port 7001 proto tcp
//   ufw deny 7002/tcp                            ufw allow 80,443,5000:5002/tcp
//   ufw allow log 7003/udp                       ufw route allow 7004/tcp
//   ufw allow out 7005/tcp                       ufw allow to 10.199.0.1 port 7006 proto tcp
//   ufw allow from any port 53 to any port 7007 proto udp
//   ufw deny 7008                                ufw allow 7008/tcp
//   ufw reject in on veth0 to any port 7009 proto udp
//   ufw deny from 10.0.0.0/8 to any port 6001 proto udp
//   ufw deny to 10.199.0.1 port 9000 proto udp   ufw deny out 7010/tcp
#include <gtest/gtest.h>

#include "ufw_rules.h"

namespace firewall {
namespace {

const char* const kUserRules = R"(*filter
:ufw-user-input - [0:0]
:ufw-user-output - [0:0]
### RULES ###

### tuple ### allow tcp 8080 0.0.0.0/0 any 0.0.0.0/0 in comment=484c4d58203830383020544350
-A ufw-user-input -p tcp --dport 8080 -j ACCEPT

### tuple ### allow udp 6000:6007 0.0.0.0/0 any 0.0.0.0/0 in
### tuple ### allow any 9000 0.0.0.0/0 any 0.0.0.0/0 in
### tuple ### allow tcp 7000 0.0.0.0/0 any 10.0.0.0/8 in
### tuple ### allow tcp 7001 0.0.0.0/0 any 0.0.0.0/0 in_veth0
### tuple ### deny tcp 7002 0.0.0.0/0 any 0.0.0.0/0 in
### tuple ### allow tcp 80,443,5000:5002 0.0.0.0/0 any 0.0.0.0/0 in
### tuple ### allow_log udp 7003 0.0.0.0/0 any 0.0.0.0/0 in
### tuple ### route:allow tcp 7004 0.0.0.0/0 any 0.0.0.0/0 in
### tuple ### allow tcp 7005 0.0.0.0/0 any 0.0.0.0/0 out
### tuple ### allow tcp 7006 10.199.0.1 any 0.0.0.0/0 in
### tuple ### allow udp 7007 0.0.0.0/0 53 0.0.0.0/0 in
-A ufw-user-input -p udp --dport 7007 --sport 53 -j ACCEPT

### tuple ### deny any 7008 0.0.0.0/0 any 0.0.0.0/0 in
### tuple ### allow tcp 7008 0.0.0.0/0 any 0.0.0.0/0 in
### tuple ### reject udp 7009 0.0.0.0/0 any 0.0.0.0/0 in_veth0
### tuple ### deny udp 6001 0.0.0.0/0 any 10.0.0.0/8 in
### tuple ### deny udp 9000 10.199.0.1 any 0.0.0.0/0 in
### tuple ### deny tcp 7010 0.0.0.0/0 any 0.0.0.0/0 out

### END RULES ###
COMMIT
)";

// Open: an allow from anywhere decides first. Refused: a deny or reject that ufw
// meets first, which an allow appended after it would never override.
TEST(UfwRules, TheFirstRuleForThePortFromAnywhereDecides)
{
    const auto rules = ParseUfwRules(kUserRules);
    ASSERT_EQ(rules.size(), 18u);
    enum Decision { None, Open, Refused };
    const struct {
        int port;
        Protocol protocol;
        Decision decision;
        const char* why;
    } cases[] = {
        {8080, Protocol::Tcp, Open, "plain rule"},
        {8080, Protocol::Udp, None, "other protocol"},
        {8081, Protocol::Tcp, None, "other port"},
        {6000, Protocol::Udp, Open, "first port of a range"},
        {6007, Protocol::Udp, Open, "last port of a range"},
        {6008, Protocol::Udp, None, "past the range"},
        {9000, Protocol::Udp, Open, "rule for both protocols, before a deny to one address"},
        {7000, Protocol::Tcp, None, "only from one network"},
        {7001, Protocol::Tcp, None, "only on one interface"},
        {7002, Protocol::Tcp, Refused, "deny rule"},
        {443, Protocol::Tcp, Open, "port list"},
        {5001, Protocol::Tcp, Open, "range inside a port list"},
        {444, Protocol::Tcp, None, "between list items"},
        {7003, Protocol::Udp, Open, "allow with logging"},
        {7004, Protocol::Tcp, None, "routed, not to this host"},
        {7005, Protocol::Tcp, None, "outgoing"},
        {7006, Protocol::Tcp, None, "only to one address"},
        {7007, Protocol::Udp, None, "only from one source port"},
        {7008, Protocol::Tcp, Refused, "deny of both protocols before an allow"},
        {7008, Protocol::Udp, Refused, "deny of both protocols"},
        {7009, Protocol::Udp, Refused, "reject on one interface"},
        {7009, Protocol::Tcp, None, "reject of the other protocol"},
        {6001, Protocol::Udp, Open, "allow of a range before a deny from one network"},
        {7010, Protocol::Tcp, None, "deny of outgoing traffic"},
    };
    for (const auto& c : cases) {
        const auto rule = FindDecidingRule(rules, c.port, c.protocol);
        const Decision decision = !rule ? None : IsRefusal(*rule) ? Refused : Open;
        EXPECT_EQ(decision, c.decision) << c.port << "/" << ProtocolName(c.protocol) << ": " << c.why;
    }
    EXPECT_EQ(FindDecidingRule(rules, 8080, Protocol::Tcp)->comment, "HLMX 8080 TCP");
    EXPECT_EQ(FindDecidingRule(rules, 6000, Protocol::Udp)->comment, "");
}

TEST(UfwRules, PortLists)
{
    struct Case {
        const char* ports;
        int port;
        bool holds;
    };
    const Case cases[] = {
        {"any", 1, true},   {"22", 2, false}, {"22", 222, false}, {"1:65535", 65535, true}, {"10:5", 7, false},
        {"a:b", 7, false},  {"", 7, false},   {"7,", 7, true},    {",7", 7, true},         {"70000", 4464, false},
        {"-1:9", 3, false},
    };
    for (const Case& c : cases) EXPECT_EQ(PortListHolds(c.ports, c.port), c.holds) << c.ports << " " << c.port;
}

TEST(UfwRules, OddTuplesAreSkippedOrReadAsUfwDoes)
{
    const std::string text =
        "### tuple ### allow tcp 1000 0.0.0.0/0 any 0.0.0.0/0\n"  // old format: no direction, means in
        "### tuple ### allow tcp 22 0.0.0.0/0 any 0.0.0.0/0 OpenSSH - in\n"  // application rule
        "### tuple ### allow tcp 1001 0.0.0.0/0\n"  // too short
        "### tuple ### allow tcp 1002 0.0.0.0/0 any 0.0.0.0/0 in comment=\n"
        "### tuple ### allow tcp 1003 0.0.0.0/0 any 0.0.0.0/0 in comment=4zz1\n"
        "### tuple ### allow tcp 1004 0.0.0.0/0 any 0.0.0.0/0 in comment=41424\n"
        "#### tuple ### allow tcp 1005 0.0.0.0/0 any 0.0.0.0/0 in\n";
    const auto rules = ParseUfwRules(text);
    ASSERT_EQ(rules.size(), 5u);
    EXPECT_TRUE(FindDecidingRule(rules, 1000, Protocol::Tcp));
    EXPECT_TRUE(FindDecidingRule(rules, 22, Protocol::Tcp));
    EXPECT_FALSE(FindDecidingRule(rules, 1001, Protocol::Tcp));
    EXPECT_EQ(FindDecidingRule(rules, 1002, Protocol::Tcp)->comment, "");
    EXPECT_EQ(FindDecidingRule(rules, 1003, Protocol::Tcp)->comment, "");
    EXPECT_EQ(FindDecidingRule(rules, 1004, Protocol::Tcp)->comment, "AB");
    EXPECT_FALSE(FindDecidingRule(rules, 1005, Protocol::Tcp));
}

} // namespace
} // namespace firewall
