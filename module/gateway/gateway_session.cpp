#include "gateway/gateway_session.h"
#include "gateway/sentences.h"

#include <optional>
#include <system_error>

#include "tell.h"
#include "gateway/host/ipv6_interface.h"
#include "gateway/host/link_address.h"
#include "gateway/host/socket.h"
#include "gateway/gateway_headlines.h"
#include "gateway/gateway_log.h"
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

void GatewaySession::SearchAhead()
{
    if (searched_ || ahead_.valid()) return;
    try {
        // Its own copy of the settings: the thread shares nothing with this one.
        ahead_ = std::async(std::launch::async, [settings = settings_] { return Find(settings); });
    } catch (const std::system_error&) {
        // No thread to be had: the first step that asks searches itself.
    }
}

GatewaySession::Found GatewaySession::Find(const GatewaySettings& settings)
{
    // The gateway libraries' sockets too, which they make without asking.
    host::StartSockets();
    Found found{{settings.readDefaultGateway(), settings.ssdpGroup, settings.ssdpPort, settings.readNetwork()}, {}, {}, {}};
    const SsdpSearchPlan& plan = found.plan;
    // This host itself is never the gateway: anyone on it could answer.
    if (plan.defaultGateway && !plan.network.IsSelf(*plan.defaultGateway))
        found.probe = std::make_unique<PortControlProbe>(*plan.defaultGateway);
    found.end = Earlier(Clock::now() + settings.searchTime, settings.end);
    found.findings = SearchGatewayDevice(plan, found.end, found.probe.get());
    return found;
}

// UPnP from the default gateway first (it keeps the mapping's name), then its PCP,
// then its NAT-PMP. No other device: Internet traffic enters through the default
// gateway alone, so a mapping elsewhere opens nothing.
void GatewaySession::Search()
{
    if (searched_) return;
    searched_ = true;
    // A search ahead is over by its own end, within the run's deadline.
    Found search = ahead_.valid() ? ahead_.get() : Find(settings_);
    const SearchFindings& found = search.findings;
    const bool gatewayToAsk = search.probe != nullptr;
    if (found.gatewayMisleads)
        GatewayLog("the default gateway's answer to the search names no gateway description of its own; not followed");
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
    if (search.probe) {
        portControl_ = search.probe->Choose(search.end);
        if (portControl_) return;
        if (!why) why = search.probe->Headline();
    }
    if (found.elsewhere)
        Tell(sentence::UpnpElsewhere, {{"address", ToString(*found.elsewhere)}});
    if (!found.gateway)
        Tell(search.plan.defaultGateway ? sentence::NoUpnpSearchAnswer : sentence::NoUpnpSearchAnswerNoRoute,
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
