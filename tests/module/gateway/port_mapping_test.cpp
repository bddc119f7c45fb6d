// Add's arguments are checked before anything is sent; the read-back must match the request.
#include <gtest/gtest.h>

#include <functional>

#include "com/com_ptr.h"
#include "platform/linux/gateway/port_mapping.h"
#include "platform/posix/utf8.h"

using gateway::CheckMappingArguments;

TEST(MappingArguments, PortsProtocolClientAndEnabled)
{
    const struct {
        LONG externalPort;
        const wchar_t* protocol;
        LONG internalPort;
        const wchar_t* client;
        VARIANT_BOOL enabled;
        const char* problem; // nullptr: accepted
    } cases[] = {
        {8080, L"TCP", 8080, L"10.77.0.2", VARIANT_TRUE, nullptr},
        {1, L"UDP", 65535, L"10.77.0.2", 1, nullptr},
        {0, L"TCP", 0, L"10.77.0.2", VARIANT_TRUE, "external port 0 is not 1-65535"},
        {65536, L"TCP", 65536, L"10.77.0.2", VARIANT_TRUE, "external port 65536 is not 1-65535"},
        {70000, L"TCP", 70000, L"10.77.0.2", VARIANT_TRUE, "external port 70000 is not 1-65535"},
        {-5, L"UDP", -5, L"10.77.0.2", VARIANT_TRUE, "external port -5 is not 1-65535"},
        {8080, L"TCP", 0, L"10.77.0.2", VARIANT_TRUE, "internal port 0 is not 1-65535"},
        {8080, L"tcp", 8080, L"10.77.0.2", VARIANT_TRUE, "protocol 'tcp' is neither TCP nor UDP"},
        {8080, L"ICMP", 8080, L"10.77.0.2", VARIANT_TRUE, "protocol 'ICMP' is neither TCP nor UDP"},
        {8080, L"TCP", 8080, L"", VARIANT_TRUE, "internal client '' is not an IPv4 address"},
        {8080, L"TCP", 8080, L"my-pc", VARIANT_TRUE, "internal client 'my-pc' is not an IPv4 address"},
        {8080, L"TCP", 8080, L"10.77.0.2", VARIANT_FALSE, "a disabled mapping cannot be made"},
    };
    for (const auto& c : cases) {
        const Bstr protocol{std::wstring(c.protocol)}, client{std::wstring(c.client)}, description{std::wstring(L"d")};
        const auto check = CheckMappingArguments(c.externalPort, protocol.get(), c.internalPort, client.get(), c.enabled,
                                                 description.get());
        EXPECT_EQ(check.request.has_value(), c.problem == nullptr) << c.externalPort << " " << (c.problem ? c.problem : "accepted");
        EXPECT_EQ(check.problem, c.problem ? c.problem : "");
    }
}

TEST(MappingArguments, NullTextsAreEmptyAndTheDescriptionIsKeptAsGiven)
{
    const Bstr tcp{std::wstring(L"TCP")}, client{std::wstring(L"10.77.0.2")};
    const Bstr description{std::wstring(L"HLMX 8080 TCP \u00e9")};
    const auto check = CheckMappingArguments(8080, tcp.get(), 8081, client.get(), VARIANT_TRUE, description.get());
    ASSERT_TRUE(check.request);
    EXPECT_EQ(check.request->externalPort, 8080);
    EXPECT_EQ(check.request->internalPort, 8081);
    EXPECT_EQ(check.request->description, "HLMX 8080 TCP \xc3\xa9");
    EXPECT_FALSE(CheckMappingArguments(8080, nullptr, 8080, client.get(), VARIANT_TRUE, nullptr).request);
    EXPECT_TRUE(CheckMappingArguments(8080, tcp.get(), 8080, client.get(), VARIANT_TRUE, nullptr).request);
}

TEST(MappingArguments, TheGatewayMustHoldThePortOpenForOurClient)
{
    const gateway::MappingRequest request{8080, "TCP", 8080, "10.77.0.2", "HLMX 8080 TCP"};
    const gateway::HeldMapping same{"11.77.0.1", 8080, "TCP", 8080, "10.77.0.2", true, "other text"};
    EXPECT_TRUE(gateway::HoldsRequest(same, request));
    const std::function<void(gateway::HeldMapping&)> changes[] = {
        [](auto& held) { held.internalClient = "10.77.0.3"; }, [](auto& held) { held.internalPort = 8081; },
        [](auto& held) { held.externalPort = 8081; },          [](auto& held) { held.protocol = "UDP"; },
        [](auto& held) { held.enabled = false; },
    };
    for (std::size_t i = 0; i < std::size(changes); ++i) {
        auto other = same;
        changes[i](other);
        EXPECT_FALSE(gateway::HoldsRequest(other, request)) << "change " << i;
    }
}

TEST(WideText, RoundTripsAndReplacesWhatIsNotText)
{
    for (const std::wstring text : {L"", L"HLMX 8080 TCP", L"\u00fc\u20ac", L"\U0001F600"})
        EXPECT_EQ(WideFromUtf8(Utf8FromWide(text)), text);
    EXPECT_EQ(Utf8FromWide(L"\u20ac"), "\xe2\x82\xac");
    EXPECT_EQ(Utf8FromWide(std::wstring(1, static_cast<wchar_t>(0xD800))), "\xef\xbf\xbd");
    EXPECT_EQ(WideFromUtf8("a\xff" "b"), L"a\uFFFDb");
    EXPECT_EQ(WideFromUtf8("\xc0\xaf"), L"\uFFFD");      // overlong '/'
    EXPECT_EQ(WideFromUtf8("\xe2\x82"), L"\uFFFD");      // cut short
}
