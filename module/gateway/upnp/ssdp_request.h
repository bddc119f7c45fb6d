// The SSDP M-SEARCH for Internet gateway devices, one sent straight to the default
// gateway and one to the multicast group; the answers arrive on the socket returned.
#pragma once

#include <cstdint>

#include "gateway/host/socket.h"
#include "gateway/ipv4_address.h"

namespace gateway {

// Connected, so that a gateway without SSDP comes back as Refused instead of silence;
// empty when the searches could not be sent.
host::UniqueSocket AskGatewayForDevice(Ipv4 gatewayAddress, std::uint16_t port);

host::UniqueSocket AskGroupForDevice(Ipv4 group, std::uint16_t port);

} // namespace gateway
