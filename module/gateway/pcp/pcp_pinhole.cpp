#include "gateway/pcp/pcp_pinhole.h"

#include "gateway/exchange.h"
#include "gateway/host/ipv6_interface.h"
#include "gateway/pcp/pcp_exchange.h"

namespace gateway {

std::optional<PcpPinhole> PcpPinholeAt(const std::string& forwardAddress, const std::string& own)
{
    const auto ipv4 = ParseIpv4(forwardAddress);
    const auto global = ipv4 ? host::ReadGlobalIpv6(*ipv4) : std::nullopt;
    const auto router = global ? host::ReadIpv6DefaultRouter(*ipv4) : std::nullopt;
    if (!global || ToString(*global) != own || !router || !(IsGlobalUnicast(*router) || IsLinkLocal(*router)))
        return std::nullopt;
    PcpPinhole pinhole;
    pinhole.router = *router;
    pinhole.scope = IsLinkLocal(*router) ? host::ReadInterfaceIndex(*ipv4) : 0;
    pinhole.own = *global;
    return pinhole;
}

std::optional<pcp::Answer> MapPinhole(const PcpPinhole& pinhole, std::uint32_t lifetime, Deadline deadline)
{
    host::UniqueSocket socket = ConnectToPortControl(pinhole.router, pinhole.scope, pinhole.own);
    if (!socket) return std::nullopt;
    const auto port = static_cast<std::uint16_t>(pinhole.port);
    const pcp::MapRequest map{pinhole.own, pinhole.nonce,
                              pinhole.protocol == "TCP" ? pcp::kProtocolTcp : pcp::kProtocolUdp, port, port, lifetime};
    return AskMap(std::move(socket), map, deadline);
}

} // namespace gateway
