#include "gateway/pinhole_route.h"

#include "gateway/host/ipv6_interface.h"

namespace gateway {

std::optional<PinholeRoute> RouteOfPinhole(const std::string& forwardAddress, const std::string& own)
{
    const auto ipv4 = ParseIpv4(forwardAddress);
    const auto global = ipv4 ? host::ReadGlobalIpv6(*ipv4) : std::nullopt;
    const auto router = global ? host::ReadIpv6DefaultRouter(*ipv4) : std::nullopt;
    if (!global || ToString(*global) != own || !router || !(IsGlobalUnicast(*router) || IsLinkLocal(*router)))
        return std::nullopt;
    return PinholeRoute{*router, IsLinkLocal(*router) ? host::ReadInterfaceIndex(*ipv4) : 0, *global};
}

} // namespace gateway
