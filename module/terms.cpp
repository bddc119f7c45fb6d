#include "terms.h"

#include <array>
#include <utility>

namespace {

template <class E, std::size_t N> using Spellings = std::array<std::pair<E, std::string_view>, N>;

constexpr Spellings<Protocol, 2> kProtocols{{{Protocol::Tcp, "TCP"}, {Protocol::Udp, "UDP"}}};
constexpr Spellings<Protocol, 2> kLowerProtocols{{{Protocol::Tcp, "tcp"}, {Protocol::Udp, "udp"}}};
constexpr Spellings<Family, 2> kFamilies{{{Family::Ipv4, "IPv4"}, {Family::Ipv6, "IPv6"}}};
constexpr Spellings<Family, 2> kLowerFamilies{{{Family::Ipv4, "ipv4"}, {Family::Ipv6, "ipv6"}}};
constexpr Spellings<Method, 4> kMethods{
    {{Method::Upnp, "UPnP"}, {Method::Pcp, "PCP"}, {Method::NatPmp, "NAT-PMP"}, {Method::System, "system"}}};

template <class E, std::size_t N> std::string_view Spelled(const Spellings<E, N>& table, E value)
{
    for (const auto& [each, name] : table)
        if (each == value) return name;
    return {};
}

template <class E, std::size_t N> std::optional<E> Read(const Spellings<E, N>& table, std::string_view name)
{
    for (const auto& [each, spelled] : table)
        if (spelled == name) return each;
    return std::nullopt;
}

} // namespace

std::string_view Name(Protocol protocol) { return Spelled(kProtocols, protocol); }
std::string_view Name(Family family) { return Spelled(kFamilies, family); }
std::string_view Name(Method method) { return Spelled(kMethods, method); }
std::string_view LowerName(Protocol protocol) { return Spelled(kLowerProtocols, protocol); }
std::string_view LowerName(Family family) { return Spelled(kLowerFamilies, family); }

int IpNumber(Protocol protocol) { return protocol == Protocol::Tcp ? 6 : 17; }

template <> std::optional<Protocol> Parse<Protocol>(std::string_view name) { return Read(kProtocols, name); }
template <> std::optional<Family> Parse<Family>(std::string_view name) { return Read(kFamilies, name); }
template <> std::optional<Method> Parse<Method>(std::string_view name) { return Read(kMethods, name); }
template <> std::optional<Protocol> ParseLower<Protocol>(std::string_view name) { return Read(kLowerProtocols, name); }
template <> std::optional<Family> ParseLower<Family>(std::string_view name) { return Read(kLowerFamilies, name); }

Protocol ProtocolOfCharacter(wchar_t character) { return character == L't' ? Protocol::Tcp : Protocol::Udp; }

std::vector<Protocol> ProtocolsOf(std::int32_t protocolSelector)
{
    switch (protocolSelector) {
    case 0: return {Protocol::Tcp};
    case 1: return {Protocol::Udp};
    case 2: return {Protocol::Tcp, Protocol::Udp};
    default: return {};
    }
}

bool ThroughUpnp(Method method) { return method == Method::Upnp || method == Method::System; }

bool IsPortNumber(long port) { return port >= 1 && port <= 65535; }

std::string OwnEntryName(int port, Protocol protocol)
{
    return "HLMX " + std::to_string(port) + " " + std::string(Name(protocol));
}
