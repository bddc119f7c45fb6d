// Protocol, family and method: each spelling read back to its value and nothing else
// read at all, the forward's protocol selector and character, ports and our entries' name.
#include <gtest/gtest.h>

#include <type_traits>
#include <utility>
#include <vector>

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
    EXPECT_EQ(IpNumber(Protocol::Tcp), 6);
    EXPECT_EQ(IpNumber(Protocol::Udp), 17);
    EXPECT_TRUE(ThroughUpnp(Method::Upnp));
    EXPECT_TRUE(ThroughUpnp(Method::System));
    EXPECT_FALSE(ThroughUpnp(Method::Pcp));
    EXPECT_FALSE(ThroughUpnp(Method::NatPmp));
}

TEST(Terms, ForwardWords)
{
    const std::pair<std::int32_t, std::vector<Protocol>> selectors[] = {
        {-1, {}}, {0, {Protocol::Tcp}}, {1, {Protocol::Udp}}, {2, {Protocol::Tcp, Protocol::Udp}}, {3, {}}};
    for (const auto& [selector, protocols] : selectors) EXPECT_EQ(ProtocolsOf(selector), protocols) << selector;
    EXPECT_EQ(ProtocolOfCharacter(L't'), Protocol::Tcp);
    for (wchar_t other : {L'u', L'T', L'\0'}) EXPECT_EQ(ProtocolOfCharacter(other), Protocol::Udp);
    const std::pair<long, bool> ports[] = {{-1, false}, {0, false}, {1, true}, {65535, true}, {65536, false}, {70000, false}};
    for (const auto& [port, valid] : ports) EXPECT_EQ(IsPortNumber(port), valid) << port;
    EXPECT_EQ(OwnEntryName(8080, Protocol::Tcp), "HLMX 8080 TCP");
    EXPECT_EQ(OwnEntryName(1, Protocol::Udp), "HLMX 1 UDP");
}

} // namespace
