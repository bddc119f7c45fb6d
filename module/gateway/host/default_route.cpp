#include "gateway/host/default_route.h"

#include <algorithm>

namespace gateway::host {

std::optional<Ipv4> ChooseDefaultGateway(const std::vector<DefaultRoute>& routes)
{
    const auto best = std::min_element(routes.begin(), routes.end(),
                                       [](const DefaultRoute& a, const DefaultRoute& b) { return a.metric < b.metric; });
    if (best == routes.end()) return std::nullopt;
    return best->via;
}

std::optional<Ipv4> ReadDefaultGateway() { return ChooseDefaultGateway(ReadDefaultRoutes()); }

} // namespace gateway::host
