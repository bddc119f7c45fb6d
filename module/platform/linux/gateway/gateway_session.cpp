#include "gateway_session.h"

#include <optional>

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

bool GatewaySession::HasGateway()
{
    Search();
    return gateway_ || portControl_;
}

const IgdConnection* GatewaySession::Gateway()
{
    Search();
    return gateway_.get();
}

const PortControlGateway* GatewaySession::PortControl()
{
    Search();
    return portControl_.get();
}

// UPnP from the default gateway first (it keeps the mapping's name), then its PCP,
// then its NAT-PMP, then UPnP from another device on the LAN.
void GatewaySession::Search()
{
    if (searched_) return;
    searched_ = true;
    const SsdpSearchPlan plan{ReadDefaultGateway(settings_.routeTable), settings_.ssdpGroup, settings_.ssdpPort,
                              settings_.readNetwork()};
    // This host itself is never the gateway: anyone on it could answer.
    std::optional<PortControlProbe> probe;
    if (plan.defaultGateway && !plan.network.IsSelf(*plan.defaultGateway)) probe.emplace(*plan.defaultGateway);
    const Deadline searchEnd = Earlier(Clock::now() + settings_.searchTime, settings_.end);
    const auto found = SearchGatewayDevice(plan, searchEnd, probe ? &*probe : nullptr);
    if (found && found->fromDefaultGateway) {
        gateway_ = IgdConnection::Open(found->location, CallDeadline());
        if (gateway_) return;
    }
    if (probe) {
        portControl_ = probe->Choose(searchEnd);
        if (portControl_) return;
    }
    if (found && !found->fromDefaultGateway) {
        ReportIfNotDefaultGateway(plan.defaultGateway, found->location);
        gateway_ = IgdConnection::Open(found->location, CallDeadline());
        return;
    }
    if (!found)
        UserLine("No Internet gateway answered a UPnP search within " + Seconds(settings_.searchTime) + " s" +
                 (plan.defaultGateway ? "." : " (this machine has no default route)."));
}

Deadline GatewaySession::CallDeadline() const { return Earlier(Clock::now() + settings_.callTime, settings_.end); }

} // namespace gateway
