// Where a pinhole is asked for: the router, reached as it was when the pinhole opened.
#pragma once

#include <cstdint>

#include "gateway/ipv6_address.h"

namespace gateway {

struct PinholeRoute {
    Ipv6 router;             // the IPv6 default router of the forward's network: no other device
    std::uint32_t scope = 0; // the interface holding the forward's IPv4 address, for a link-local router
    Ipv6 own;                // the global address the pinhole is for, and the request's source
};

} // namespace gateway
