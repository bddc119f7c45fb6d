// The default route's gateway: the one host asked for port mappings.
#pragma once

#include <istream>
#include <optional>
#include <vector>

#include "gateway/ipv4_address.h"

namespace gateway::host {

struct DefaultRoute {
    Ipv4 via;                 // the next hop; never 0.0.0.0
    unsigned long metric = 0; // all that the system adds up for the route; the lowest wins
};

// The usable default routes of the system's routing table, as they are now.
std::vector<DefaultRoute> ReadDefaultRoutes();

#ifndef _WIN32
// The usable default routes of a table in the layout of /proc/net/route.
std::vector<DefaultRoute> DefaultRoutesFromTable(std::istream& table);
#endif

// The gateway of the route with the lowest metric, the first listed among equals.
std::optional<Ipv4> ChooseDefaultGateway(const std::vector<DefaultRoute>& routes);

// The gateway of this host's default route, as it is now.
std::optional<Ipv4> ReadDefaultGateway();

} // namespace gateway::host
