// Varneth::Forward: the order of the platform work, the two flags and the result code.
#include <gtest/gtest.h>

#include "test_support.h"
#include "varneth.h"

namespace {

using Lines = std::vector<std::string>;

class ForwardRequest : public ComTest {
protected:
    ForwardResult Forward(std::int32_t selector, std::int32_t port, const std::wstring& address,
                          const std::wstring& description = L"AUTO")
    {
        ::testing::internal::CaptureStdout();
        ::testing::internal::CaptureStderr();
        Varneth mapping;
        const ForwardResult result = mapping.Forward(selector, port, address, description);
        code = mapping.ErrorCode;
        output = ::testing::internal::GetCapturedStdout();
        errors = ::testing::internal::GetCapturedStderr();
        return result;
    }
    // The gateway and firewall additions, in the order they were made.
    Lines Additions() const
    {
        Lines additions;
        for (const std::string& call : platform.calls)
            if (call.rfind("Add ", 0) == 0 || call.rfind("OpenPorts.Add ", 0) == 0) additions.push_back(call);
        return additions;
    }
    std::int32_t code = -1;
    std::string output;
    std::string errors;
};

TEST_F(ForwardRequest, BothProtocolsMapThenOpenEachInTurn)
{
    const ForwardResult result = Forward(2, 8080, L"10.0.0.5");
    EXPECT_TRUE(result.Mapped);
    EXPECT_TRUE(result.FirewallOpen);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(Additions(), (Lines{"Add TCP 8080->10.0.0.5:8080 'HLMX 8080 TCP' enabled=1",
                                  "OpenPorts.Add 8080 6 'HLMX 8080 TCP'",
                                  "Add UDP 8080->10.0.0.5:8080 'HLMX 8080 UDP' enabled=1",
                                  "OpenPorts.Add 8080 17 'HLMX 8080 UDP'"}));
    EXPECT_EQ(errors, "The firewall is on.\n"
                      "TCP 8080 -> 10.0.0.5:8080 mapped on the gateway; users on the Internet connect to 11.77.0.1:8080.\n"
                      "The firewall now lets TCP 8080 in, as \"HLMX 8080 TCP\".\n"
                      "UDP 8080 -> 10.0.0.5:8080 mapped on the gateway; users on the Internet connect to 11.77.0.1:8080.\n"
                      "The firewall now lets UDP 8080 in, as \"HLMX 8080 UDP\".\n"
                      "Reachable at 11.77.0.1:8080\n");
}

TEST_F(ForwardRequest, OnlyExactlyAutoAsksForTheAutomaticDescription)
{
    Forward(2, 8080, L"10.0.0.5", L"AUTO ");
    Forward(0, 5, L"10.0.0.5");
    EXPECT_EQ(Additions(), (Lines{"Add TCP 8080->10.0.0.5:8080 'AUTO ' enabled=1", "OpenPorts.Add 8080 6 'AUTO '",
                                  "Add UDP 8080->10.0.0.5:8080 'AUTO ' enabled=1", "OpenPorts.Add 8080 17 'AUTO '",
                                  "Add TCP 5->10.0.0.5:5 'HLMX 5 TCP' enabled=1",
                                  "OpenPorts.Add 5 6 'HLMX 5 TCP'"}));
}

TEST_F(ForwardRequest, FirewallOffIsLeftUntouched)
{
    platform.firewallEnabled = false;
    const ForwardResult result = Forward(1, 8080, L"10.0.0.5");
    EXPECT_TRUE(result.Mapped && result.FirewallOpen);
    EXPECT_EQ(code, 0);
    EXPECT_TRUE(platform.CallsStartingWith("get_GloballyOpenPorts").empty());
}

TEST_F(ForwardRequest, EveryChosenProtocolMustBeLetIn)
{
    platform.refuseProtocol = 17;
    const ForwardResult result = Forward(2, 8080, L"10.0.0.5");
    EXPECT_TRUE(result.Mapped);
    EXPECT_FALSE(result.FirewallOpen);
    EXPECT_EQ(code, 1682);
    EXPECT_NE(errors.find("The firewall did not let UDP 8080 in (status 0x80004005).\n"), std::string::npos) << errors;
    EXPECT_EQ(errors.find("Reachable at"), std::string::npos) << errors;
}

// A protocol the gateway did not map is not let in, and does not count against the firewall.
struct OneMappingRefused {
    const char* refused;
    Lines additions;
};

class OneProtocolRefused : public ForwardRequest, public ::testing::WithParamInterface<OneMappingRefused> {};

TEST_P(OneProtocolRefused, LeavesTheOtherMappedAndOpenButIsNoSuccess)
{
    platform.refuseMapping = GetParam().refused;
    const ForwardResult result = Forward(2, 8080, L"10.0.0.5");
    EXPECT_FALSE(result.Mapped);
    EXPECT_TRUE(result.FirewallOpen);
    EXPECT_EQ(code, 0) << "a gateway failure sets no code";
    EXPECT_EQ(Additions(), GetParam().additions);
    EXPECT_NE(errors.find(std::string(GetParam().refused) +
                          " 8080 is not let in through the firewall, since the gateway did not map it.\n"),
              std::string::npos)
        << errors;
}

INSTANTIATE_TEST_SUITE_P(
    FirstOrSecond, OneProtocolRefused,
    ::testing::Values(OneMappingRefused{"TCP",
                                        {"Add TCP 8080->10.0.0.5:8080 'HLMX 8080 TCP' enabled=1",
                                         "Add UDP 8080->10.0.0.5:8080 'HLMX 8080 UDP' enabled=1",
                                         "OpenPorts.Add 8080 17 'HLMX 8080 UDP'"}},
                      OneMappingRefused{"UDP",
                                        {"Add TCP 8080->10.0.0.5:8080 'HLMX 8080 TCP' enabled=1",
                                         "OpenPorts.Add 8080 6 'HLMX 8080 TCP'",
                                         "Add UDP 8080->10.0.0.5:8080 'HLMX 8080 UDP' enabled=1"}}),
    [](const ::testing::TestParamInfo<OneMappingRefused>& info) { return std::string(info.param.refused); });

TEST_F(ForwardRequest, NoGatewayOpensNothing)
{
    platform.getCollection = Outcome::LeavesNull;
    const ForwardResult result = Forward(2, 8080, L"10.0.0.5");
    EXPECT_FALSE(result.Mapped);
    EXPECT_TRUE(result.FirewallOpen);
    EXPECT_EQ(code, 0);
    EXPECT_TRUE(platform.CallsStartingWith("get_GloballyOpenPorts").empty());
    EXPECT_NE(errors.find("No UPnP Internet gateway was found.\nTCP 8080 is not mapped on the gateway.\n"),
              std::string::npos)
        << errors;
}

TEST_F(ForwardRequest, PortsOutsideTheRangeNeverReachTheGateway)
{
    for (const std::int32_t port : {0, -5, 65536, 70000}) {
        platform.calls.clear();
        const ForwardResult result = Forward(2, port, L"10.0.0.5");
        EXPECT_FALSE(result.Mapped) << port;
        EXPECT_EQ(code, 0) << port;
        EXPECT_TRUE(platform.CallsStartingWith("CoCreateInstance UPnPNAT").empty()) << port;
        EXPECT_TRUE(Additions().empty()) << port;
        EXPECT_EQ(output, "Varneth::Add Collection->Add failed\nVarneth::Add Collection->Add failed\n");
        EXPECT_NE(errors.find("UDP " + std::to_string(port) + " was not asked for: a port is a number from 1 to 65535.\n"),
                  std::string::npos)
            << errors;
    }
}

TEST_F(ForwardRequest, ComFailureDoesNothingAndSaysNothing)
{
    comrt::InjectCoInitializeFailure(E_OUTOFMEMORY);
    const ForwardResult result = Forward(2, 8080, L"");
    EXPECT_FALSE(result.Mapped || result.FirewallOpen);
    EXPECT_EQ(code, 1204);
    EXPECT_EQ(output, "");
    EXPECT_TRUE(platform.calls.empty());
}

TEST_F(ForwardRequest, NoProfileStillMapsButNeverOpensAndGives234)
{
    platform.getCurrentProfile = Outcome::Fails;
    const ForwardResult result = Forward(2, 8080, L"");
    EXPECT_TRUE(result.Mapped);
    EXPECT_FALSE(result.FirewallOpen);
    EXPECT_EQ(code, 234) << "replaces the 992 of the empty address";
    EXPECT_TRUE(platform.CallsStartingWith("get_GloballyOpenPorts").empty());
    EXPECT_EQ(platform.CallsStartingWith("Add ").size(), 2u);
}

TEST_F(ForwardRequest, EveryOpenFailingGives1682)
{
    platform.addOpenPort = Outcome::Fails;
    const ForwardResult result = Forward(2, 8080, L"");
    EXPECT_FALSE(result.FirewallOpen);
    EXPECT_EQ(code, 1682);
}

TEST_F(ForwardRequest, EmptyAddressIsTriedAndLeaves992)
{
    platform.firewallEnabled = false;
    const ForwardResult result = Forward(0, 8080, L"");
    EXPECT_TRUE(result.Mapped && result.FirewallOpen);
    EXPECT_EQ(code, 992);
    EXPECT_EQ(platform.CallsStartingWith("Add "), Lines{"Add TCP 8080->:8080 'HLMX 8080 TCP' enabled=1"});
}

TEST_F(ForwardRequest, UnknownSelectorHandlesNoProtocol)
{
    const ForwardResult result = Forward(7, 8080, L"10.0.0.5");
    EXPECT_FALSE(result.Mapped || result.FirewallOpen);
    EXPECT_EQ(code, 1682);
    EXPECT_TRUE(Additions().empty());
}

} // namespace
