// Protocol, family and method: a spelling other than their own is read as nothing, and a
// protocol selector out of range asks for nothing. Each spelling itself is checked where
// it is written and read back: the record's bytes, and the commands ufw and its helper get.
#include <gtest/gtest.h>

#include "terms.h"

namespace {

TEST(Terms, NoOtherSpellingIsRead)
{
    for (const char* text : {"", "Tcp", "tcp", "TCP ", " UDP", "T", "SCTP"}) EXPECT_EQ(Parse<Protocol>(text), std::nullopt) << text;
    for (const char* text : {"", "ipv6", "IPV6", "IPv6\n"}) EXPECT_EQ(Parse<Family>(text), std::nullopt) << text;
    for (const char* text : {"", "upnp", "NAT_PMP", "NATPMP", "System"}) EXPECT_EQ(Parse<Method>(text), std::nullopt) << text;
    // Varneth::Forward's selector is 0, 1 or 2; any other asks for nothing.
    for (const std::int32_t selector : {-1, 3}) EXPECT_TRUE(ProtocolsOf(selector).empty()) << selector;
}

} // namespace
