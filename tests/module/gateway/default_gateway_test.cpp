// The default gateway from route tables as the kernel prints them.
#include <gtest/gtest.h>

#include <sstream>

#include "gateway_test_support.h"
#include "platform/linux/gateway/default_gateway.h"

namespace {

std::optional<gateway::Ipv4> FromTable(const std::string& text)
{
    std::istringstream table(text);
    return gateway::DefaultGatewayFromRouteTable(table);
}

} // namespace

TEST(DefaultGateway, ReadsACapturedTable)
{
    // /proc/net/route of the lab's client namespace, trailing blanks and all.
    const auto found = FromTable(
        "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT                 \n"
        "lan0\t00000000\t01004D0A\t0003\t0\t0\t0\t00000000\t0\t0\t0                                         \n"
        "lan0\t00004D0A\t00000000\t0001\t0\t0\t0\t00FFFFFF\t0\t0\t0                                         \n");
    ASSERT_TRUE(found);
    EXPECT_EQ(gateway::ToString(*found), "10.77.0.1");
    EXPECT_FALSE(gateway::ReadDefaultGateway("/nonexistent/route"));
}

TEST(DefaultGateway, ChoosesTheUsableDefaultRouteWithTheLowestMetric)
{
    const gateway::Ipv4 any{};
    const struct {
        const char* name;
        std::string rows;
        const char* expected; // nullptr: none
    } cases[] = {
        {"lowest metric wins",
         RouteLine("wlan0", any, Ip("192.168.1.1"), 0x3, 600, any) + "\n" +
             RouteLine("eth0", any, Ip("192.168.2.1"), 0x3, 100, any) + "\n",
         "192.168.2.1"},
        {"a route without a gateway is no gateway",
         RouteLine("ppp0", any, any, 0x1, 0, any) + "\n" + RouteLine("eth0", any, Ip("10.0.0.1"), 0x3, 50, any) + "\n",
         "10.0.0.1"},
        {"a route that is down is skipped", RouteLine("eth0", any, Ip("10.0.0.1"), 0x2, 0, any) + "\n", nullptr},
        {"a network route is no default route",
         RouteLine("eth0", Ip("10.1.0.0"), Ip("10.0.0.1"), 0x3, 0, Ip("255.255.0.0")) + "\n", nullptr},
        {"malformed lines are skipped",
         "eth0\tzz\t01004D0A\t0003\t0\t0\t0\t00000000\n" "short line\n" +
             RouteLine("eth1", any, Ip("172.16.0.1"), 0x3, 0, any) + "\n",
         "172.16.0.1"},
        {"no routes", "", nullptr},
    };
    for (const auto& c : cases) {
        const auto found = FromTable(std::string(kRouteTableTitles) + "\n" + c.rows);
        EXPECT_EQ(found ? gateway::ToString(*found) : "none", c.expected ? c.expected : "none") << c.name;
    }
}
