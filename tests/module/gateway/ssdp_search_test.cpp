// The gateway search on loopback: the default gateway stands at 127.0.0.2, the
// "multicast group" is 127.0.0.1, and the devices answer after chosen delays.
#include <gtest/gtest.h>

#include "fake_ssdp_responder.h"
#include "gateway_test_support.h"
#include "platform/linux/gateway/ssdp_search.h"

using gateway::Clock;
using gateway::SsdpSearchPlan;
using namespace std::chrono_literals;

namespace {

const gateway::Ipv4 kGateway = Ip("127.0.0.2");
const gateway::Ipv4 kGroup = Ip("127.0.0.1");
const std::string kGatewayLocation = "http://127.0.0.2:5000/rootDesc.xml";
const std::string kOtherLocation = "http://127.0.0.1:49152/igd.xml";

std::optional<gateway::FoundDevice> Search(std::optional<gateway::Ipv4> defaultGateway, std::uint16_t port,
                                           std::chrono::milliseconds window = 1000ms)
{
    return gateway::SearchGatewayDevice(SsdpSearchPlan{defaultGateway, kGroup, port}, Clock::now() + window);
}

} // namespace

TEST(SsdpSearch, TheDefaultGatewaysAnswerIsTakenAtOnce)
{
    FakeSsdpResponder group(kGroup, 0, GatewayAnswer(kOtherLocation), 600ms);
    FakeSsdpResponder gatewayDevice(kGateway, group.Port(), GatewayAnswer(kGatewayLocation));
    const Stopwatch watch;
    const auto found = Search(kGateway, group.Port());
    ASSERT_TRUE(found);
    EXPECT_EQ(found->location, kGatewayLocation);
    EXPECT_EQ(found->answeredBy, kGateway);
    EXPECT_LT(watch.Milliseconds(), 300);
}

TEST(SsdpSearch, TheDefaultGatewayIsPreferredOverAQuickerDevice)
{
    FakeSsdpResponder group(kGroup, 0, GatewayAnswer(kOtherLocation));
    FakeSsdpResponder gatewayDevice(kGateway, group.Port(), GatewayAnswer(kGatewayLocation), 200ms);
    const auto found = Search(kGateway, group.Port());
    ASSERT_TRUE(found);
    EXPECT_EQ(found->location, kGatewayLocation);
}

TEST(SsdpSearch, AnotherDeviceIsTakenWhenTheGatewayCannotAnswer)
{
    // No default route: the first gateway device is taken as it answers.
    {
        FakeSsdpResponder group(kGroup, 0, GatewayAnswer(kOtherLocation), 100ms);
        const Stopwatch watch;
        const auto found = Search(std::nullopt, group.Port());
        ASSERT_TRUE(found);
        EXPECT_EQ(found->location, kOtherLocation);
        EXPECT_LT(watch.Milliseconds(), 500);
    }
    // The gateway has no SSDP port open: its refusal ends the wait for it.
    {
        FakeSsdpResponder group(kGroup, 0, GatewayAnswer(kOtherLocation), 100ms);
        const Stopwatch watch;
        const auto found = Search(kGateway, group.Port());
        ASSERT_TRUE(found);
        EXPECT_EQ(found->location, kOtherLocation);
        EXPECT_LT(watch.Milliseconds(), 500);
    }
    // The gateway listens but stays silent: the other device's answer stands at the deadline.
    {
        FakeSsdpResponder group(kGroup, 0, GatewayAnswer(kOtherLocation));
        FakeSsdpResponder silentGateway(kGateway, group.Port(), "");
        const Stopwatch watch;
        const auto found = Search(kGateway, group.Port(), 400ms);
        ASSERT_TRUE(found);
        EXPECT_EQ(found->location, kOtherLocation);
        EXPECT_GE(watch.Milliseconds(), 390);
        EXPECT_LT(watch.Milliseconds(), 700);
    }
}

TEST(SsdpSearch, NoUsableAnswerEndsAtTheDeadline)
{
    const struct {
        const char* name;
        std::string answer;
    } cases[] = {
        {"silence", ""},
        {"not a gateway", GatewayAnswer(kOtherLocation, "urn:schemas-upnp-org:device:MediaServer:1")},
        {"location elsewhere", GatewayAnswer("http://127.0.0.9:5000/rootDesc.xml")},
        {"garbage", "\x01\x02 not http"},
    };
    for (const auto& c : cases) {
        FakeSsdpResponder group(kGroup, 0, c.answer);
        FakeSsdpResponder gatewayDevice(kGateway, group.Port(), c.answer);
        const Stopwatch watch;
        EXPECT_FALSE(Search(kGateway, group.Port(), 300ms)) << c.name;
        EXPECT_GE(watch.Milliseconds(), 290) << c.name;
        EXPECT_LT(watch.Milliseconds(), 600) << c.name;
    }
}

TEST(SsdpSearch, SendsUnicastWithoutMxAndMulticastWithMx)
{
    FakeSsdpResponder group(kGroup, 0, "");
    FakeSsdpResponder gatewayDevice(kGateway, group.Port(), "");
    Search(kGateway, group.Port(), 200ms);
    const std::string port = std::to_string(group.Port());
    const auto unicast = gatewayDevice.Searches();
    const auto multicast = group.Searches();
    ASSERT_EQ(unicast.size(), 2u);
    ASSERT_EQ(multicast.size(), 2u);
    for (const std::string& search : unicast) {
        EXPECT_EQ(search.rfind("M-SEARCH * HTTP/1.1\r\nHOST: 127.0.0.2:" + port + "\r\n", 0), 0u) << search;
        EXPECT_NE(search.find("MAN: \"ssdp:discover\"\r\n"), std::string::npos);
        EXPECT_EQ(search.find("MX:"), std::string::npos);
    }
    for (const std::string& search : multicast) {
        EXPECT_NE(search.find("HOST: 127.0.0.1:" + port + "\r\n"), std::string::npos) << search;
        EXPECT_NE(search.find("MX: 1\r\n"), std::string::npos);
    }
    EXPECT_NE(unicast[0].find("ST: urn:schemas-upnp-org:device:InternetGatewayDevice:1\r\n\r\n"), std::string::npos);
    EXPECT_NE(unicast[1].find("ST: urn:schemas-upnp-org:device:InternetGatewayDevice:2\r\n\r\n"), std::string::npos);
}
