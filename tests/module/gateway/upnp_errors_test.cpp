// Gateway refusals in words and as COM statuses.
#include <gtest/gtest.h>

#include "platform/linux/gateway/upnp_errors.h"

TEST(UpnpErrors, TextNamesTheCode)
{
    const struct {
        int code;
        const char* text;
    } cases[] = {
        {718, "718 ConflictInMappingEntry"},
        {-3, "-3 HTTP error"},
        {gateway::kNoAnswerInTime, "-1000 no answer in time"},
        {899, "899 (unknown code)"},
    };
    for (const auto& c : cases) EXPECT_EQ(gateway::UpnpErrorText(c.code), c.text);
}

TEST(UpnpErrors, EveryRefusalIsAFailureStatus)
{
    const struct {
        int code;
        std::uint32_t status;
    } cases[] = {
        {600, 0x80040300u}, {606, 0x80040306u}, {718, 0x80040376u}, {899, 0x8004042Bu},
        {501, 0x80004005u}, {402, 0x80004005u}, {900, 0x80004005u}, {-3, 0x80004005u},
        {gateway::kNoAnswerInTime, 0x800705B4u},
    };
    for (const auto& c : cases) {
        const HRESULT hr = gateway::HresultFromUpnpError(c.code);
        EXPECT_EQ(static_cast<std::uint32_t>(hr), c.status) << c.code;
        EXPECT_TRUE(FAILED(hr)) << c.code;
    }
}
