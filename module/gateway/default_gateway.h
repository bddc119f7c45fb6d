// The default route's gateway: the first host to ask for port mappings.
#pragma once

#include <istream>
#include <optional>
#include <string>

#include "gateway/ipv4_address.h"

namespace gateway {

// Reads a table in the layout of /proc/net/route and returns the gateway of the usable
// default route with the lowest metric.
std::optional<Ipv4> DefaultGatewayFromRouteTable(std::istream& table);

std::optional<Ipv4> ReadDefaultGateway(const std::string& routeTablePath);

} // namespace gateway
