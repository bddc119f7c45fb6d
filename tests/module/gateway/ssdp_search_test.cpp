// The gateway search on loopback: the default gateway stands at 127.0.0.2, the
// "multicast group" is 127.0.0.1, and the devices answer after chosen delays.
#include <gtest/gtest.h>

#include <memory>
#include <tuple>

#include "fake_ssdp_responder.h"
#include "gateway_test_support.h"
#include "platform/linux/gateway/ssdp_search.h"

using namespace std::chrono_literals;
using std::chrono::milliseconds;

namespace {

const gateway::Ipv4 kGateway = Ip("127.0.0.2");
const gateway::Ipv4 kGroup = Ip("127.0.0.1");

// A device's answer to a search ("" for silence), after a delay.
struct Device {
    std::string answer;
    milliseconds delay{0};
};

} // namespace

TEST(SsdpSearch, TheDefaultGatewayFirstThenAnotherDeviceThenNothing)
{
    const std::string atGateway = GatewayAnswer("http://127.0.0.2:5000/rootDesc.xml");
    const std::string other = "http://127.0.0.1:49152/igd.xml";
    const std::string mediaServer = "urn:schemas-upnp-org:device:MediaServer:1";
    const struct {
        const char* name;
        bool defaultRoute;             // the plan asks 127.0.0.2 directly
        std::optional<Device> gateway; // without one, nothing listens at 127.0.0.2
        Device group;
        milliseconds deadline;
        std::string found; // "": nothing
        long atLeast, below;
    } cases[] = {
        {"the gateway's answer is taken at once", true, Device{atGateway}, {GatewayAnswer(other), 600ms}, 1000ms,
         "http://127.0.0.2:5000/rootDesc.xml", 0, 300},
        {"the gateway is preferred over a quicker device", true, Device{atGateway, 200ms}, {GatewayAnswer(other)}, 1000ms,
         "http://127.0.0.2:5000/rootDesc.xml", 0, 600},
        {"no default route: the first device as it answers", false, std::nullopt, {GatewayAnswer(other), 100ms}, 1000ms,
         other, 0, 500},
        {"the gateway's refusal ends the wait for it", true, std::nullopt, {GatewayAnswer(other), 100ms}, 1000ms, other,
         0, 500},
        {"a silent gateway: the other device at the deadline", true, Device{""}, {GatewayAnswer(other)}, 400ms, other,
         390, 700},
        {"silence", true, Device{""}, {""}, 300ms, "", 290, 600},
        {"no gateway device", true, Device{GatewayAnswer("http://127.0.0.2:5000/d.xml", mediaServer)},
         {GatewayAnswer(other, mediaServer)}, 300ms, "", 290, 600},
        {"locations on another host", true, Device{GatewayAnswer("http://127.0.0.9:5000/rootDesc.xml")},
         {GatewayAnswer("http://127.0.0.9:5000/rootDesc.xml")}, 300ms, "", 290, 600},
    };
    for (const auto& c : cases) {
        FakeSsdpResponder group(kGroup, 0, c.group.answer, c.group.delay);
        std::unique_ptr<FakeSsdpResponder> gatewayDevice;
        if (c.gateway)
            gatewayDevice = std::make_unique<FakeSsdpResponder>(kGateway, group.Port(), c.gateway->answer, c.gateway->delay);
        const Stopwatch watch;
        const auto found = gateway::SearchGatewayDevice(
            {c.defaultRoute ? std::optional(kGateway) : std::nullopt, kGroup, group.Port(), LoopbackAsLan()}, Clock::now() + c.deadline);
        const long took = watch.Milliseconds();
        EXPECT_EQ(found ? found->location : "", c.found) << c.name;
        EXPECT_GE(took, c.atLeast) << c.name;
        EXPECT_LT(took, c.below) << c.name;
    }
}

TEST(SsdpSearch, NoDeviceOnThisHostItselfIsTaken)
{
    const struct {
        const char* name;
        gateway::LocalNetwork network;
        std::string found;
    } cases[] = {
        {"loopback, as this host sees it", gateway::ReadLocalNetwork(), ""},
        {"the default gateway at one of our own addresses", {{{kGroup, Ip("255.0.0.0")}}, {{kGateway, Ip("255.255.255.255")}}},
         "http://127.0.0.1:49152/igd.xml"},
    };
    for (const auto& c : cases) {
        FakeSsdpResponder group(kGroup, 0, GatewayAnswer("http://127.0.0.1:49152/igd.xml"));
        FakeSsdpResponder gatewayDevice(kGateway, group.Port(), GatewayAnswer("http://127.0.0.2:5000/rootDesc.xml"));
        const auto found = gateway::SearchGatewayDevice({kGateway, kGroup, group.Port(), c.network}, Clock::now() + 300ms);
        EXPECT_EQ(found ? found->location : "", c.found) << c.name;
    }
}

TEST(SsdpSearch, SendsUnicastWithoutMxAndMulticastWithMx)
{
    FakeSsdpResponder group(kGroup, 0, "");
    FakeSsdpResponder gatewayDevice(kGateway, group.Port(), "");
    gateway::SearchGatewayDevice({kGateway, kGroup, group.Port(), LoopbackAsLan()}, Clock::now() + 200ms);
    const std::string port = std::to_string(group.Port());
    for (const auto& [searches, host, multicast] : {std::make_tuple(gatewayDevice.Searches(), std::string("127.0.0.2:"), false),
                                                    std::make_tuple(group.Searches(), std::string("127.0.0.1:"), true)}) {
        ASSERT_EQ(searches.size(), 2u) << host;
        for (std::size_t i = 0; i < searches.size(); ++i) {
            const std::string& search = searches[i];
            EXPECT_EQ(search.rfind("M-SEARCH * HTTP/1.1\r\nHOST: " + host + port + "\r\nMAN: \"ssdp:discover\"\r\n", 0), 0u)
                << search;
            EXPECT_EQ(search.find("MX: ") != std::string::npos, multicast) << search;
            EXPECT_NE(search.find("ST: urn:schemas-upnp-org:device:InternetGatewayDevice:" + std::to_string(i + 1) + "\r\n\r\n"),
                      std::string::npos) << search;
        }
    }
}
