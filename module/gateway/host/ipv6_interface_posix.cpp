#include "gateway/host/ipv6_interface.h"

#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>

namespace gateway::host {
namespace {

// Address flags as the kernel prints them (linux/if_addr.h).
constexpr unsigned kTemporary = 0x01;
constexpr unsigned kDadFailed = 0x08;
constexpr unsigned kDeprecated = 0x20;
constexpr unsigned kTentative = 0x40;
// Route flags (linux/route.h).
constexpr unsigned kRouteUp = 0x1;
constexpr unsigned kRouteGateway = 0x2;

std::optional<unsigned long> Hex(const std::string& field)
{
    if (field.empty() || field.size() > 8) return std::nullopt;
    char* end = nullptr;
    const unsigned long value = std::strtoul(field.c_str(), &end, 16);
    return *end == '\0' ? std::optional(value) : std::nullopt;
}

// 32 hex digits, network order, no colons.
std::optional<Ipv6> AddressField(const std::string& field)
{
    if (field.size() != 32) return std::nullopt;
    Ipv6 address;
    for (std::size_t i = 0; i < 16; ++i) {
        const auto byte = Hex(field.substr(2 * i, 2));
        if (!byte) return std::nullopt;
        address.bytes[i] = static_cast<std::uint8_t>(*byte);
    }
    return address;
}

// The name of the interface that holds `address`; empty when none does.
std::string InterfaceHolding(Ipv4 address)
{
    ifaddrs* raw = nullptr;
    if (getifaddrs(&raw) != 0) return {};
    const std::unique_ptr<ifaddrs, decltype(&freeifaddrs)> interfaces(raw, &freeifaddrs);
    for (const ifaddrs* entry = raw; entry != nullptr; entry = entry->ifa_next)
        if (entry->ifa_addr != nullptr && entry->ifa_addr->sa_family == AF_INET &&
            AddressOf(*reinterpret_cast<const sockaddr_in*>(entry->ifa_addr)) == address)
            return entry->ifa_name;
    return {};
}

} // namespace

std::vector<Ipv6Candidate> InterfaceAddressesFromTable(std::istream& table, const std::string& interface)
{
    std::vector<Ipv6Candidate> candidates;
    std::string line;
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string addressField, index, prefixLength, scope, flagsField, name;
        if (!(fields >> addressField >> index >> prefixLength >> scope >> flagsField >> name) || name != interface)
            continue;
        const auto address = AddressField(addressField);
        const auto flags = Hex(flagsField);
        if (!address || !flags) continue;
        candidates.push_back(Ipv6Candidate{*address, (*flags & kTemporary) != 0, (*flags & kDeprecated) != 0,
                                           (*flags & (kTentative | kDadFailed)) != 0});
    }
    return candidates;
}

std::optional<Ipv6> DefaultGatewayFromTable(std::istream& table, const std::string& interface)
{
    std::optional<Ipv6> ipv6Gateway;
    unsigned long lowest = 0;
    std::string line;
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string destination, destinationLength, source, sourceLength, nextHop, metricField, refCount, use,
            flagsField, name;
        if (!(fields >> destination >> destinationLength >> source >> sourceLength >> nextHop >> metricField >>
              refCount >> use >> flagsField >> name) ||
            name != interface)
            continue;
        const auto dest = AddressField(destination), via = AddressField(nextHop);
        const auto length = Hex(destinationLength), metric = Hex(metricField), flags = Hex(flagsField);
        if (!dest || !via || !length || !metric || !flags || *dest != Ipv6{} || *length != 0 || *via == Ipv6{})
            continue;
        if ((*flags & (kRouteUp | kRouteGateway)) != (kRouteUp | kRouteGateway)) continue;
        if (!ipv6Gateway || *metric < lowest) {
            ipv6Gateway = via;
            lowest = *metric;
        }
    }
    return ipv6Gateway;
}

std::optional<Ipv6> ReadGlobalIpv6(Ipv4 interfaceAddress)
{
    const std::string interface = InterfaceHolding(interfaceAddress);
    std::ifstream table("/proc/net/if_inet6");
    if (interface.empty() || !table) return std::nullopt;
    return ChooseGlobalIpv6(InterfaceAddressesFromTable(table, interface));
}

std::optional<Ipv6> ReadIpv6DefaultGateway(Ipv4 interfaceAddress)
{
    const std::string interface = InterfaceHolding(interfaceAddress);
    std::ifstream table("/proc/net/ipv6_route");
    if (interface.empty() || !table) return std::nullopt;
    return DefaultGatewayFromTable(table, interface);
}

bool Ipv6RoutesShown(Ipv4 /*interfaceAddress*/) { return true; }

std::uint32_t ReadInterfaceIndex(Ipv4 interfaceAddress)
{
    const std::string interface = InterfaceHolding(interfaceAddress);
    return interface.empty() ? 0 : if_nametoindex(interface.c_str());
}

} // namespace gateway::host
