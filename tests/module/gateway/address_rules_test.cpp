// Address texts, reserved blocks, and the verdict on a gateway's external address.
#include <gtest/gtest.h>

#include "gateway_test_support.h"
#include "platform/linux/gateway/gateway_verdict.h"
#include "platform/linux/gateway/reserved_address.h"

using gateway::GatewayVerdict;

TEST(ParseIpv4, TakesOnlyPlainDottedQuads)
{
    const struct {
        const char* text;
        bool valid;
    } cases[] = {
        {"10.77.0.1", true}, {"255.255.255.255", true}, {"0.0.0.0", true},
        {"", false}, {"10.77.0", false}, {"10.77.0.1.5", false}, {"256.1.1.1", false},
        {" 10.77.0.1", false}, {"10.77.0.1 ", false}, {"010.77.0.1", false}, {"gateway.lan", false},
        {"10.77.0.1:5000", false}, {"::1", false},
    };
    for (const auto& c : cases) EXPECT_EQ(gateway::ParseIpv4(c.text).has_value(), c.valid) << c.text;
    EXPECT_EQ(gateway::ParseIpv4("10.77.0.1")->value, 0x0A4D0001u);
    EXPECT_EQ(gateway::ToString(Ip("192.168.1.254")), "192.168.1.254");
}

TEST(ReservedAddress, BlocksAndTheirEdges)
{
    const struct {
        const char* address;
        bool reserved;
    } cases[] = {
        {"11.77.0.1", false},     {"8.8.8.8", false},          {"223.255.255.255", false},
        {"100.63.255.255", false}, {"100.64.0.0", true},       {"100.64.0.1", true},
        {"100.127.255.255", true}, {"100.128.0.0", false},     {"9.255.255.255", false},
        {"10.0.0.0", true},        {"10.255.255.255", true},   {"11.0.0.0", false},
        {"172.15.255.255", false}, {"172.16.0.1", true},       {"172.31.255.255", true},
        {"172.32.0.0", false},     {"192.168.0.1", true},      {"192.169.0.1", false},
        {"169.254.1.1", true},     {"127.0.0.1", true},        {"0.0.0.0", true},
        {"192.0.2.1", true},       {"198.51.100.7", true},     {"203.0.113.9", true},
        {"198.18.0.1", true},      {"198.19.255.255", true},   {"198.20.0.0", false},
        {"224.0.0.1", true},       {"239.255.255.250", true},  {"255.255.255.255", true},
    };
    for (const auto& c : cases) EXPECT_EQ(gateway::IsReservedAddress(Ip(c.address)), c.reserved) << c.address;
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
        {true, "", GatewayVerdict::NoExternalAddress},   // miniupnpd behind carrier-grade NAT
        {false, "", GatewayVerdict::NoExternalAddress},
        {true, "0.0.0.0", GatewayVerdict::NoExternalAddress},
        {true, "not an address", GatewayVerdict::NoExternalAddress},
        {true, "100.64.0.1", GatewayVerdict::ReservedExternalAddress},
        {true, "192.168.1.20", GatewayVerdict::ReservedExternalAddress},
        {false, "10.0.0.2", GatewayVerdict::ReservedExternalAddress},
    };
    for (const auto& c : cases)
        EXPECT_EQ(gateway::JudgeGateway(c.connected, c.externalAddress), c.verdict)
            << c.connected << " " << c.externalAddress;
}

TEST(JudgeGateway, DescriptionNamesTheReservedAddress)
{
    const std::string why = gateway::DescribeVerdict(GatewayVerdict::ReservedExternalAddress, "100.64.0.1");
    EXPECT_NE(why.find("100.64.0.1"), std::string::npos);
    EXPECT_NE(why.find("carrier-grade NAT"), std::string::npos);
}
