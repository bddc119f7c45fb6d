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
        Varneth mapping;
        const ForwardResult result = mapping.Forward(selector, port, address, description);
        code = mapping.ErrorCode;
        output = ::testing::internal::GetCapturedStdout();
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
}

TEST_F(ForwardRequest, OnlyExactlyAutoAsksForTheAutomaticDescription)
{
    Forward(2, 8080, L"10.0.0.5", L"AUTO ");
    Forward(0, -5, L"10.0.0.5");
    EXPECT_EQ(Additions(), (Lines{"Add TCP 8080->10.0.0.5:8080 'AUTO ' enabled=1", "OpenPorts.Add 8080 6 'AUTO '",
                                  "Add UDP 8080->10.0.0.5:8080 'AUTO ' enabled=1", "OpenPorts.Add 8080 17 'AUTO '",
                                  "Add TCP -5->10.0.0.5:-5 'HLMX -5 TCP' enabled=1",
                                  "OpenPorts.Add -5 6 'HLMX -5 TCP'"}));
}

TEST_F(ForwardRequest, FirewallOffIsLeftUntouched)
{
    platform.firewallEnabled = false;
    const ForwardResult result = Forward(1, 8080, L"10.0.0.5");
    EXPECT_TRUE(result.Mapped && result.FirewallOpen);
    EXPECT_EQ(code, 0);
    EXPECT_TRUE(platform.CallsStartingWith("get_GloballyOpenPorts").empty());
}

TEST_F(ForwardRequest, OneOpenedEntryIsEnoughForTheFirewallFlag)
{
    platform.refuseProtocol = 17;
    const ForwardResult result = Forward(2, 8080, L"10.0.0.5");
    EXPECT_TRUE(result.FirewallOpen);
    EXPECT_EQ(code, 0);
}

TEST_F(ForwardRequest, MappedTakesTheLastProtocolsOutcome)
{
    platform.addMapping = Outcome::Fails;
    EXPECT_FALSE(Forward(2, 8080, L"10.0.0.5").Mapped);
    EXPECT_EQ(output, "Varneth::Add Collection->Add failed\nVarneth::Add Collection->Add failed\n");
    EXPECT_EQ(code, 0) << "a gateway failure sets no code";
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
