#include "gateway/host/default_route.h"

#include "gateway/host/socket_headers.h"

#include <fstream>
#include <sstream>

namespace gateway::host {
namespace {

constexpr unsigned kRouteUp = 0x1;
constexpr unsigned kRouteGateway = 0x2;

// The kernel prints an address as the hex of its network-order word read in host order:
// 10.77.0.1 is "01004D0A" on a little-endian machine.
std::optional<std::uint32_t> Hex(const std::string& field)
{
    if (field.empty() || field.size() > 8) return std::nullopt;
    std::uint32_t value = 0;
    for (const char c : field) {
        const int digit = (c >= '0' && c <= '9') ? c - '0'
                        : (c >= 'A' && c <= 'F') ? c - 'A' + 10
                        : (c >= 'a' && c <= 'f') ? c - 'a' + 10
                                                 : -1;
        if (digit < 0) return std::nullopt;
        value = value << 4 | static_cast<std::uint32_t>(digit);
    }
    return value;
}

Ipv4 FromKernelWord(std::uint32_t word) { return Ipv4{ntohl(word)}; }

} // namespace

std::vector<DefaultRoute> DefaultRoutesFromTable(std::istream& table)
{
    std::vector<DefaultRoute> routes;
    std::string line;
    std::getline(table, line); // column titles
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string interface, destination, gatewayField, flagsField, refCount, use, mask;
        unsigned long metric = 0;
        if (!(fields >> interface >> destination >> gatewayField >> flagsField >> refCount >> use >> metric >> mask))
            continue;
        const auto dest = Hex(destination), via = Hex(gatewayField), flags = Hex(flagsField), netmask = Hex(mask);
        if (!dest || !via || !flags || !netmask) continue;
        const bool isDefault = *dest == 0 && *netmask == 0;
        const bool usable = (*flags & (kRouteUp | kRouteGateway)) == (kRouteUp | kRouteGateway) && *via != 0;
        if (isDefault && usable) routes.push_back(DefaultRoute{FromKernelWord(*via), metric});
    }
    return routes;
}

std::vector<DefaultRoute> ReadDefaultRoutes()
{
    std::ifstream table("/proc/net/route");
    if (!table) return {};
    return DefaultRoutesFromTable(table);
}

} // namespace gateway::host
