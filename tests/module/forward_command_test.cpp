// The "kavro" command: lines in, one result line and diagnostics out.
#include <gtest/gtest.h>

#include "forward_command.h"
#include "test_support.h"

namespace {

using Lines = std::vector<std::string>;

#ifdef _WIN32
const std::string kEol = "\r\n";
#else
const std::string kEol = "\n";
#endif

class ForwardCommand : public ComTest {
protected:
    std::string Run(const std::vector<std::wstring>& lines)
    {
        ::testing::internal::CaptureStdout();
        RunForwardCommand(lines);
        output = ::testing::internal::GetCapturedStdout();
        const std::string result = ReadBytes("log.txt");
        return result.size() >= kEol.size() ? result.substr(0, result.size() - kEol.size()) : "<no line>";
    }
    ScratchDirectory dir;
    std::string output;
};

struct FlagCase {
    const wchar_t* tcp;
    const wchar_t* udp;
    Lines protocols;
    bool protBoth;
};

class ForwardFlags : public ForwardCommand, public ::testing::WithParamInterface<FlagCase> {};

TEST_P(ForwardFlags, OnlyExactTrueSetsAFlag)
{
    EXPECT_EQ(Run({L"kavro", L"10.0.0.5", L"8080", GetParam().tcp, GetParam().udp, L""}), "0");
    Lines protocols;
    for (const std::string& add : platform.CallsStartingWith("Add ")) protocols.push_back(add.substr(4, 3));
    EXPECT_EQ(protocols, GetParam().protocols);
    EXPECT_EQ(output.rfind("fwd 10.0.0.5 port:8080\n" + std::string(GetParam().protBoth ? "prot both\n" : ""), 0), 0u)
        << output;
}

INSTANTIATE_TEST_SUITE_P(Flags, ForwardFlags,
                         ::testing::Values(FlagCase{L"TRUE", L"FALSE", {"TCP"}, false},
                                           FlagCase{L"FALSE", L"TRUE", {"UDP"}, false},
                                           FlagCase{L"TRUE", L"TRUE", {"TCP", "UDP"}, true},
                                           FlagCase{L"true", L"TRUE", {"UDP"}, false}));

TEST_F(ForwardCommand, PortIsReadLikeWcstolAndOnly1To65535IsAskedFor)
{
    EXPECT_EQ(Run({L"kavro", L"10.0.0.5", L"  80abc", L"TRUE", L"FALSE"}), "0");
    EXPECT_EQ(Run({L"kavro", L"10.0.0.5", L"-5", L"TRUE", L"FALSE"}), "Invalid IP");
    EXPECT_EQ(output, "fwd 10.0.0.5 port:-5\nVarneth::Add Collection->Add failed\n");
    EXPECT_EQ(Run({L"kavro", L"10.0.0.5", L"99999999999", L"TRUE", L"FALSE"}), "Invalid IP");
    EXPECT_EQ(output.rfind("fwd 10.0.0.5 port:2147483647\n", 0), 0u) << output;
    EXPECT_EQ(Run({L"kavro", L"10.0.0.5", L"70000", L"TRUE", L"FALSE"}), "Invalid IP");
    Lines ports;
    for (const std::string& add : platform.CallsStartingWith("Add ")) ports.push_back(add.substr(8, 2));
    EXPECT_EQ(ports, Lines{"80"});
}

struct ResultCase {
    const char* name;
    Outcome FakePlatform::*step;
    const wchar_t* address;
    std::string result;
    void (*arrange)(FakePlatform&) = nullptr;
};

class ForwardResults : public ForwardCommand, public ::testing::WithParamInterface<ResultCase> {};

TEST_P(ForwardResults, WriteTheTextOfTheCode)
{
    if (GetParam().step != nullptr) platform.*GetParam().step = Outcome::Fails;
    if (GetParam().arrange != nullptr) GetParam().arrange(platform);
    EXPECT_EQ(Run({L"kavro", GetParam().address, L"8080", L"TRUE", L"TRUE"}), GetParam().result);
}

INSTANTIATE_TEST_SUITE_P(
    Codes, ForwardResults,
    ::testing::Values(
        ResultCase{"success", nullptr, L"10.0.0.5", "0"},
        ResultCase{"profile_missing_even_though_mapped", &FakePlatform::getCurrentProfile, L"10.0.0.5",
                   "Failed to initialize firewall. Try running with proper admin privileges."},
        ResultCase{"no_port_opened", &FakePlatform::addOpenPort, L"10.0.0.5",
                   "Firewall initialized well, but failed to open ports on it."},
        ResultCase{"gateway_refused_code_0", &FakePlatform::addMapping, L"10.0.0.5", "Invalid IP"},
        ResultCase{"first_mapping_refused_second_made", nullptr, L"10.0.0.5", "Invalid IP",
                   [](FakePlatform& p) { p.refuseMapping = "TCP"; }},
        ResultCase{"first_opening_refused_second_made", nullptr, L"10.0.0.5",
                   "Firewall initialized well, but failed to open ports on it.",
                   [](FakePlatform& p) { p.refuseProtocol = NET_FW_IP_PROTOCOL_TCP; }},
        ResultCase{"first_mapping_refused_second_opening_refused", nullptr, L"10.0.0.5",
                   "Firewall initialized well, but failed to open ports on it.",
                   [](FakePlatform& p) { p.refuseMapping = "TCP", p.refuseProtocol = NET_FW_IP_PROTOCOL_UDP; }},
        ResultCase{"empty_address_refused", &FakePlatform::addMapping, L"", "Invalid IP"},
        ResultCase{"empty_address_accepted_is_success", nullptr, L"", "0"}),
    [](const ::testing::TestParamInfo<ResultCase>& info) { return info.param.name; });

TEST_F(ForwardCommand, ComFailureGivesItsText)
{
    comrt::InjectCoInitializeFailure(E_FAIL);
    EXPECT_EQ(Run({L"kavro", L"10.0.0.5", L"8080", L"TRUE", L"FALSE"}),
              "Failed to initialize COM library. This should not happen");
}

TEST_F(ForwardCommand, MalformedCommandsDoNoPlatformWorkAndNeverSucceed)
{
    EXPECT_EQ(Run({L"kavro", L"10.0.0.5", L"8080", L"TRUE"}), "Incomplete forward command");
    EXPECT_EQ(Run({L"kavro", L"10.0.0.5", L"8080", L"FALSE", L"false"}), "No protocol selected");
    EXPECT_TRUE(platform.calls.empty());
}

} // namespace
