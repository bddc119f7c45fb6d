#include "gateway_session.h"

#include "default_gateway.h"
#include "gateway_log.h"
#include "ssdp_search.h"

namespace gateway {

GatewaySession::GatewaySession(GatewaySettings settings)
    : settings_(std::move(settings))
{
}

const IgdConnection* GatewaySession::Gateway()
{
    if (searched_) return gateway_.get();
    searched_ = true;
    const SsdpSearchPlan plan{ReadDefaultGateway(settings_.routeTable), settings_.ssdpGroup, settings_.ssdpPort,
                              settings_.readNetwork()};
    const auto found = SearchGatewayDevice(plan, Earlier(Clock::now() + settings_.searchTime, settings_.end));
    if (!found) {
        GatewayLog("no Internet gateway answered the search within " + std::to_string(settings_.searchTime.count()) +
                   " ms" + (plan.defaultGateway ? "" : " (no default route)"));
        return nullptr;
    }
    gateway_ = IgdConnection::Open(found->location, CallDeadline());
    return gateway_.get();
}

Deadline GatewaySession::CallDeadline() const { return Earlier(Clock::now() + settings_.callTime, settings_.end); }

} // namespace gateway
