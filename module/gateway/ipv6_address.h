// IPv6 addresses, and which of an interface's addresses the Internet can reach it by.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct sockaddr_in6;

namespace gateway {

struct Ipv6 {
    std::array<std::uint8_t, 16> bytes{}; // network byte order

    friend bool operator==(const Ipv6& a, const Ipv6& b) { return a.bytes == b.bytes; }
    friend bool operator!=(const Ipv6& a, const Ipv6& b) { return a.bytes != b.bytes; }
};

// Text as inet_pton reads it, without a zone ("%eth0"); anything else → nothing.
std::optional<Ipv6> ParseIpv6(std::string_view text);
std::string ToString(const Ipv6& address);

// `scope`: the interface index a link-local address needs, 0 otherwise.
sockaddr_in6 SocketAddress(const Ipv6& address, std::uint32_t scope, std::uint16_t port);
Ipv6 AddressOf(const sockaddr_in6& socketAddress);

// Global unicast (2000::/3): not link-local, not unique-local (fc00::/7), not loopback,
// multicast or IPv4-mapped. The documentation prefix 2001:db8::/32 counts as global.
bool IsGlobalUnicast(const Ipv6& address);
// fe80::/10: reachable on its own link only, with the interface named.
bool IsLinkLocal(const Ipv6& address);

// One address of an interface as the system lists it.
struct Ipv6Candidate {
    Ipv6 address;
    bool temporary = false;  // a privacy address, changed every day or so
    bool deprecated = false; // its preferred lifetime is over: no new connections
    bool tentative = false;  // duplicate detection not over (or failed): not usable yet
};

// The address to open a pinhole for: a usable global one, a stable one before any
// temporary one (a pinhole for a privacy address closes with it), the first listed
// among equals; nothing when the interface has no usable global address.
std::optional<Ipv6> ChooseGlobalIpv6(const std::vector<Ipv6Candidate>& candidates);

} // namespace gateway
