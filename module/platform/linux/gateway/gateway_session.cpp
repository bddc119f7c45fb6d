#include "gateway_session.h"

#include <optional>

#include "default_gateway.h"
#include "diagnostics.h"
#include "router_headlines.h"
#include "ssdp_search.h"

namespace gateway {
namespace {

std::string Seconds(std::chrono::milliseconds time)
{
    const auto tenths = time.count() / 100;
    return std::to_string(tenths / 10) + (tenths % 10 != 0 ? "." + std::to_string(tenths % 10) : "");
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
// then its NAT-PMP. No other device: Internet traffic enters through the default
// gateway alone, so a mapping elsewhere opens nothing.
void GatewaySession::Search()
{
    if (searched_) return;
    searched_ = true;
    const SsdpSearchPlan plan{ReadDefaultGateway(settings_.routeTable), settings_.ssdpGroup, settings_.ssdpPort,
                              settings_.readNetwork()};
    // This host itself is never the gateway: anyone on it could answer.
    const bool routerToAsk = plan.defaultGateway && !plan.network.IsSelf(*plan.defaultGateway);
    std::optional<PortControlProbe> probe;
    if (routerToAsk) probe.emplace(*plan.defaultGateway);
    const Deadline searchEnd = Earlier(Clock::now() + settings_.searchTime, settings_.end);
    const SearchFindings found = SearchGatewayDevice(plan, searchEnd, probe ? &*probe : nullptr);
    std::string why;
    if (found.gateway) {
        udn_ = found.gatewayUdn;
        IgdOpening opened = IgdConnection::Open(*found.gateway, CallDeadline());
        gateway_ = std::move(opened.connection);
        if (gateway_) return;
        why = opened.headline;
    } else if (found.gatewayMisleads) {
        why = headline::UpnpUnusable();
    }
    if (probe) {
        portControl_ = probe->Choose(searchEnd);
        if (portControl_) return;
        if (why.empty()) why = probe->Headline();
    }
    if (found.elsewhere)
        UserLine(ToString(*found.elsewhere) + " offers UPnP but is not this network's gateway: not used.");
    if (!found.gateway)
        UserLine("No Internet gateway answered a UPnP search within " + Seconds(settings_.searchTime) + " s" +
                 (plan.defaultGateway ? "." : " (this machine has no default route)."));
    Headline(!why.empty() ? why : routerToAsk ? headline::NoRouterAnswered() : headline::NoDefaultGateway());
}

std::optional<Ipv4> GatewaySession::DefaultGateway() const { return ReadDefaultGateway(settings_.routeTable); }

Deadline GatewaySession::CallDeadline() const { return Earlier(Clock::now() + settings_.callTime, settings_.end); }

} // namespace gateway
