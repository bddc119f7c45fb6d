#include "gateway_session.h"

#include "default_gateway.h"
#include "diagnostics.h"
#include "ssdp_response.h"
#include "ssdp_search.h"

namespace gateway {
namespace {

std::string Seconds(std::chrono::milliseconds time)
{
    const auto tenths = time.count() / 100;
    return std::to_string(tenths / 10) + (tenths % 10 != 0 ? "." + std::to_string(tenths % 10) : "");
}

// A device other than the router may answer for it: worth knowing when ports stay closed.
void ReportIfNotDefaultGateway(const std::optional<Ipv4>& defaultGateway, const std::string& location)
{
    const auto answered = UrlHost(location);
    if (!answered || answered == defaultGateway) return;
    UserLine("The device that answered, " + ToString(*answered) + ", is not the default gateway" +
             (defaultGateway ? " " + ToString(*defaultGateway) + "." : " (this machine has no default route)."));
}

} // namespace

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
        UserLine("No Internet gateway answered a UPnP search within " + Seconds(settings_.searchTime) + " s" +
                 (plan.defaultGateway ? "." : " (this machine has no default route)."));
        return nullptr;
    }
    ReportIfNotDefaultGateway(plan.defaultGateway, found->location);
    gateway_ = IgdConnection::Open(found->location, CallDeadline());
    return gateway_.get();
}

Deadline GatewaySession::CallDeadline() const { return Earlier(Clock::now() + settings_.callTime, settings_.end); }

} // namespace gateway
