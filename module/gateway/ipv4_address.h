// IPv4 addresses as host-order numbers, parsed only from dotted-quad text.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

struct sockaddr_in;
struct sockaddr_storage;

namespace gateway {

struct Ipv4 {
    std::uint32_t value = 0; // host byte order

    friend bool operator==(Ipv4 a, Ipv4 b) { return a.value == b.value; }
    friend bool operator!=(Ipv4 a, Ipv4 b) { return a.value != b.value; }
};

// "10.77.0.1" → address; anything else (names, short forms, spaces) → nothing.
std::optional<Ipv4> ParseIpv4(std::string_view text);
std::string ToString(Ipv4 address);

sockaddr_in SocketAddress(Ipv4 address, std::uint16_t port);
Ipv4 AddressOf(const sockaddr_in& socketAddress);
// A sender's IPv4 address; 0.0.0.0 for a sender of another family.
Ipv4 AddressOf(const sockaddr_storage& socketAddress);

} // namespace gateway
