// Where a recorded pinhole is asked again, to renew or close it: as it was opened.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "gateway/ipv6_address.h"

namespace gateway {

struct PinholeRoute {
    Ipv6 router;             // the IPv6 default router of the forward's network: no other device
    std::uint32_t scope = 0; // the interface holding the forward's IPv4 address, for a link-local router
    Ipv6 own;                // the global address the pinhole is for, and the request's source
};

// The route for a pinhole of `own` beside the forward to `forwardAddress`; nothing when
// this machine no longer holds `own` there, or has no router there it may ask.
std::optional<PinholeRoute> RouteOfPinhole(const std::string& forwardAddress, const std::string& own);

} // namespace gateway
