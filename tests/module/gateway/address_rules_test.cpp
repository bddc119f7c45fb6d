// Address texts, reserved blocks, and the verdict on a gateway's external address.
#include <gtest/gtest.h>

#include "gateway_test_support.h"
#include "platform/linux/gateway/gateway_verdict.h"
#include "platform/linux/gateway/reserved_address.h"

using gateway::GatewayVerdict;

TEST(ParseIpv4, TakesOnlyPlainDottedQuads)
{
    for (const char* text : {"10.77.0.1", "255.255.255.255", "0.0.0.0"}) EXPECT_TRUE(gateway::ParseIpv4(text)) << text;
    for (const char* text : {"", "10.77.0", "10.77.0.1.5", "256.1.1.1", " 10.77.0.1", "10.77.0.1 ", "010.77.0.1",
                             "gateway.lan", "10.77.0.1:5000", "::1"})
        EXPECT_FALSE(gateway::ParseIpv4(text)) << text;
    EXPECT_EQ(gateway::ParseIpv4("10.77.0.1")->value, 0x0A4D0001u);
    EXPECT_EQ(gateway::ToString(Ip("192.168.1.254")), "192.168.1.254");
}

// The edges of blocks of several prefix lengths, not every block of the table again.
TEST(ReservedAddress, BlockEdges)
{
    for (const char* address : {"100.64.0.0", "100.127.255.255", "10.255.255.255", "172.16.0.1", "172.31.255.255",
                                "192.168.0.1", "198.19.255.255", "127.0.0.1", "0.0.0.0", "255.255.255.255"})
        EXPECT_TRUE(gateway::IsReservedAddress(Ip(address))) << address;
    for (const char* address : {"11.77.0.1", "8.8.8.8", "100.63.255.255", "100.128.0.0", "9.255.255.255", "11.0.0.0",
                                "172.15.255.255", "172.32.0.0", "192.169.0.1", "198.20.0.0", "223.255.255.255"})
        EXPECT_FALSE(gateway::IsReservedAddress(Ip(address))) << address;
}

TEST(JudgeGateway, OnlyAConnectedGatewayWithAPublicAddressIsUsable)
{
    const struct {
        bool connected;
        const char* externalAddress;
        GatewayVerdict verdict;
    } cases[] = {
        {true, "11.77.0.1", GatewayVerdict::Usable},
        {false, "11.77.0.1", GatewayVerdict::NotConnected},
        {true, "", GatewayVerdict::NoExternalAddress}, // miniupnpd behind carrier-grade NAT
        {false, "", GatewayVerdict::NoExternalAddress},
        {true, "0.0.0.0", GatewayVerdict::NoExternalAddress},
        {true, "100.64.0.1", GatewayVerdict::ReservedExternalAddress},
        {false, "10.0.0.2", GatewayVerdict::ReservedExternalAddress},
    };
    for (const auto& c : cases)
        EXPECT_EQ(gateway::JudgeGateway(c.connected, c.externalAddress), c.verdict)
            << c.connected << " " << c.externalAddress;
}
