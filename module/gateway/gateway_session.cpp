#include "gateway/gateway_session.h"
#include "gateway/sentences.h"

#include <optional>

#include "tell.h"
#include "gateway/host/ipv6_interface.h"
#include "gateway/host/link_address.h"
#include "gateway/host/socket.h"
#include "gateway/gateway_headlines.h"
#include "gateway/gateway_search.h"
#include "gateway/upnp/device_on_link.h"

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

const IgdConnection* GatewaySession::PinholeGateway()
{
    Search();
    return gateway_ ? gateway_.get() : ipv6Only_.get();
}

// UPnP from the default gateway first (it keeps the mapping's name), then its PCP,
// then its NAT-PMP. No other device: Internet traffic enters through the default
// gateway alone, so a mapping elsewhere opens nothing.
void GatewaySession::Search()
{
    if (searched_) return;
    searched_ = true;
    // The gateway libraries' sockets too, which they make without asking.
    host::StartSockets();
    const SsdpSearchPlan plan{settings_.readDefaultGateway(), settings_.ssdpGroup, settings_.ssdpPort,
                              settings_.readNetwork()};
    // This host itself is never the gateway: anyone on it could answer.
    const bool gatewayToAsk = plan.defaultGateway && !plan.network.IsSelf(*plan.defaultGateway);
    std::optional<PortControlProbe> probe;
    if (gatewayToAsk) probe.emplace(*plan.defaultGateway);
    const Deadline searchEnd = Earlier(Clock::now() + settings_.searchTime, settings_.end);
    const SearchFindings found = SearchGatewayDevice(plan, searchEnd, probe ? &*probe : nullptr);
    std::optional<Told> why;
    if (found.gateway) {
        udn_ = found.gatewayUdn;
        IgdOpening opened = IgdConnection::Open(*found.gateway, CallDeadline());
        gateway_ = std::move(opened.connection);
        if (gateway_) return;
        ipv6Only_ = std::move(opened.ipv6Only);
        why = opened.headline;
    } else if (found.gatewayMisleads) {
        why = headline::UpnpUnusable();
    }
    if (probe) {
        portControl_ = probe->Choose(searchEnd);
        if (portControl_) return;
        if (!why) why = probe->Headline();
    }
    if (found.elsewhere)
        Tell(sentence::UpnpElsewhere, {{"address", ToString(*found.elsewhere)}});
    if (!found.gateway)
        Tell(plan.defaultGateway ? sentence::NoUpnpSearchAnswer : sentence::NoUpnpSearchAnswerNoRoute,
             {{"seconds", Seconds(settings_.searchTime)}});
    Headline(why ? *why : gatewayToAsk ? headline::NoneAnswered() : headline::NoDefaultGateway());
}

std::optional<Ipv4> GatewaySession::DefaultGateway() const { return settings_.readDefaultGateway(); }

gateway::Identity GatewaySession::Identity() const
{
    const auto address = DefaultGateway();
    if (!address) return {};
    return {udn_, ToString(*address), host::LinkAddressOf(*address)};
}

Grant GatewaySession::Stamped(Grant grant) const
{
    grant.gateway = Identity();
    if (!ThroughUpnp(grant.method)) grant.gateway.udn.clear();
    return grant;
}

std::optional<Ipv6> GatewaySession::Ipv6Gateway(Ipv4 interfaceAddress, const Ipv6& own)
{
    const auto ipv6Gateway = host::ReadIpv6DefaultGateway(interfaceAddress);
    if (ipv6Gateway || host::Ipv6RoutesShown(interfaceAddress)) return ipv6Gateway;
    const IgdConnection* gateway = PinholeGateway();
    if (gateway == nullptr || !gateway->OffersPinholes()) return std::nullopt;
    // A device answers the group's search within a second (MX).
    const Deadline until = Earlier(Clock::now() + settings_.searchTime, CallDeadline());
    return FindDeviceOnLink(own, host::ReadInterfaceIndex(interfaceAddress), udn_, until);
}

Deadline GatewaySession::CallDeadline() const { return Earlier(Clock::now() + settings_.callTime, settings_.end); }

} // namespace gateway
