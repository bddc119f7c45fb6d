// Gateway refusals in words and as COM statuses.
#include <gtest/gtest.h>

#include "platform/linux/gateway/upnp_errors.h"

// Known codes are named in the gateway classes' tests; these are ours and the rest.
TEST(UpnpErrors, TextNamesTheCode)
{
    EXPECT_EQ(gateway::UpnpErrorText(gateway::kNoAnswerInTime), "-1000 no answer in time");
    EXPECT_EQ(gateway::UpnpErrorText(899), "899 (unknown code)");
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
    for (const auto& c : cases)
        EXPECT_EQ(static_cast<std::uint32_t>(gateway::HresultFromUpnpError(c.code)), c.status) << c.code;
}
