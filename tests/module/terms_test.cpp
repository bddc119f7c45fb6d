// Protocol, family and method: each spelling read back to its value and nothing else
// read at all; a protocol selector out of range asks for nothing.
#include <gtest/gtest.h>

#include <type_traits>

#include "terms.h"

namespace {

template <class E> struct Spelled {
    E value;
    const char* name;
    const char* lowerName;  // nullptr: none
};

template <class E> void ExpectRoundTrips(std::initializer_list<Spelled<E>> rows)
{
    for (const auto& row : rows) {
        EXPECT_EQ(Name(row.value), row.name);
        EXPECT_EQ(Parse<E>(row.name), row.value) << row.name;
        if constexpr (std::is_same_v<E, Method>) continue;
        else {
            EXPECT_EQ(LowerName(row.value), row.lowerName);
            EXPECT_EQ(ParseLower<E>(row.lowerName), row.value) << row.lowerName;
            EXPECT_EQ(Parse<E>(row.lowerName), std::nullopt) << row.lowerName;
            EXPECT_EQ(ParseLower<E>(row.name), std::nullopt) << row.name;
        }
    }
}

TEST(Terms, EachSpellingReadsBackToItsValueOnly)
{
    ExpectRoundTrips<Protocol>({{Protocol::Tcp, "TCP", "tcp"}, {Protocol::Udp, "UDP", "udp"}});
    ExpectRoundTrips<Family>({{Family::Ipv4, "IPv4", "ipv4"}, {Family::Ipv6, "IPv6", "ipv6"}});
    ExpectRoundTrips<Method>({{Method::Upnp, "UPnP", nullptr},
                              {Method::Pcp, "PCP", nullptr},
                              {Method::NatPmp, "NAT-PMP", nullptr},
                              {Method::System, "system", nullptr}});
    for (const char* text : {"", "Tcp", "TCP ", " UDP", "T", "SCTP"}) EXPECT_EQ(Parse<Protocol>(text), std::nullopt) << text;
    for (const char* text : {"", "ipv6", "IPV6", "IPv6\n"}) EXPECT_EQ(Parse<Family>(text), std::nullopt) << text;
    for (const char* text : {"", "upnp", "NAT_PMP", "NATPMP", "System"}) EXPECT_EQ(Parse<Method>(text), std::nullopt) << text;
    // Varneth::Forward's selector is 0, 1 or 2; any other asks for nothing.
    for (const std::int32_t selector : {-1, 3}) EXPECT_TRUE(ProtocolsOf(selector).empty()) << selector;
}

} // namespace
