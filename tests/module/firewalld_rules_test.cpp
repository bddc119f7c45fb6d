// Which of firewalld's rich rules, as firewalld lists them, refuse a port.
#include <gtest/gtest.h>

#include <tuple>

#include "firewall/linux/firewalld/rich_rule.h"

namespace firewall {
namespace {

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
