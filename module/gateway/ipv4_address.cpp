#include "gateway/ipv4_address.h"

#include "gateway/host/socket_headers.h"

#include <cstring>

namespace gateway {

std::optional<Ipv4> ParseIpv4(std::string_view text)
{
    // inet_pton takes exactly four decimal parts, unlike inet_aton.
    if (text.size() > INET_ADDRSTRLEN - 1) return std::nullopt;
    const std::string terminated(text);
    in_addr parsed{};
    if (inet_pton(AF_INET, terminated.c_str(), &parsed) != 1) return std::nullopt;
    return Ipv4{ntohl(parsed.s_addr)};
}

std::string ToString(Ipv4 address)
{
    char text[INET_ADDRSTRLEN] = {};
    in_addr raw{};
    raw.s_addr = htonl(address.value);
    inet_ntop(AF_INET, &raw, text, sizeof text);
    return text;
}

sockaddr_in SocketAddress(Ipv4 address, std::uint16_t port)
{
    sockaddr_in result{};
    result.sin_family = AF_INET;
    result.sin_port = htons(port);
    result.sin_addr.s_addr = htonl(address.value);
    return result;
}

Ipv4 AddressOf(const sockaddr_in& socketAddress) { return Ipv4{ntohl(socketAddress.sin_addr.s_addr)}; }

Ipv4 AddressOf(const sockaddr_storage& socketAddress)
{
    if (socketAddress.ss_family != AF_INET) return Ipv4{};
    sockaddr_in ipv4{};
    std::memcpy(&ipv4, &socketAddress, sizeof ipv4);
    return AddressOf(ipv4);
}

} // namespace gateway
