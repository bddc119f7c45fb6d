// Where a pinhole is asked for: the gateway, reached as it was when the pinhole opened.
#pragma once

#include <cstdint>

#include "gateway/ipv6_address.h"

namespace gateway {

struct PinholeRoute {
    Ipv6 gateway;            // the IPv6 default gateway of the forward's network: no other device
    std::uint32_t scope = 0; // the interface holding the forward's IPv4 address, for a link-local gateway
    Ipv6 own;                // the global address the pinhole is for, and the request's source
};

} // namespace gateway
