#include "gateway/pcp/pcp_pinhole.h"

#include "gateway/exchange.h"
#include "gateway/pcp/pcp_exchange.h"

namespace gateway {

std::optional<pcp::Answer> MapPinhole(const PcpPinhole& pinhole, std::uint32_t lifetime, Deadline deadline)
{
    host::UniqueSocket socket = ConnectToPortControl(pinhole.route.gateway, pinhole.route.scope, pinhole.route.own);
    if (!socket) return std::nullopt;
    const auto port = static_cast<std::uint16_t>(pinhole.port);
    const pcp::MapRequest map{pinhole.route.own, pinhole.nonce,
                              static_cast<std::uint8_t>(IpNumber(pinhole.protocol)), port, port, lifetime};
    return AskMap(std::move(socket), map, deadline);
}

} // namespace gateway
