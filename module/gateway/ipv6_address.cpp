#include "gateway/ipv6_address.h"

#include <algorithm>
#include <cstring>

#include "gateway/host/socket_headers.h"

namespace gateway {

std::optional<Ipv6> ParseIpv6(std::string_view text)
{
    char buffer[INET6_ADDRSTRLEN] = {};
    if (text.empty() || text.size() >= sizeof buffer) return std::nullopt;
    text.copy(buffer, text.size());
    in6_addr raw{};
    if (inet_pton(AF_INET6, buffer, &raw) != 1) return std::nullopt;
    Ipv6 address;
    std::memcpy(address.bytes.data(), &raw, address.bytes.size());
    return address;
}

std::string ToString(const Ipv6& address)
{
    in6_addr raw{};
    std::memcpy(&raw, address.bytes.data(), address.bytes.size());
    char buffer[INET6_ADDRSTRLEN] = {};
    return inet_ntop(AF_INET6, &raw, buffer, sizeof buffer) != nullptr ? buffer : "";
}

sockaddr_in6 SocketAddress(const Ipv6& address, std::uint32_t scope, std::uint16_t port)
{
    sockaddr_in6 socketAddress{};
    socketAddress.sin6_family = AF_INET6;
    std::memcpy(&socketAddress.sin6_addr, address.bytes.data(), address.bytes.size());
    socketAddress.sin6_scope_id = scope;
    socketAddress.sin6_port = htons(port);
    return socketAddress;
}

Ipv6 AddressOf(const sockaddr_in6& socketAddress)
{
    Ipv6 address;
    std::memcpy(address.bytes.data(), &socketAddress.sin6_addr, address.bytes.size());
    return address;
}

bool IsGlobalUnicast(const Ipv6& address) { return (address.bytes[0] & 0xE0) == 0x20; }

bool IsLinkLocal(const Ipv6& address) { return address.bytes[0] == 0xFE && (address.bytes[1] & 0xC0) == 0x80; }

std::optional<Ipv6> ChooseGlobalIpv6(const std::vector<Ipv6Candidate>& candidates)
{
    const auto usable = [](const Ipv6Candidate& c) {
        return IsGlobalUnicast(c.address) && !c.deprecated && !c.tentative;
    };
    for (const bool temporary : {false, true}) {
        const auto found = std::find_if(candidates.begin(), candidates.end(), [&](const Ipv6Candidate& c) {
            return usable(c) && c.temporary == temporary;
        });
        if (found != candidates.end()) return found->address;
    }
    return std::nullopt;
}

} // namespace gateway
