#include "gateway/gateway_session.h"
#include "gateway/sentences.h"

#include <exception>
#include <optional>
#include <system_error>

#include "tell.h"
#include "gateway/host/ipv6_interface.h"
#include "gateway/host/link_address.h"
#include "gateway/host/socket.h"
#include "gateway/gateway_headlines.h"
#include "gateway/gateway_log.h"
#include "gateway/upnp/device_on_link.h"
#include "gateway/upnp/ssdp_response.h"

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
    arrivals_ = std::make_shared<Arrivals>();
    const Deadline searchEnd = Earlier(Clock::now() + settings_.searchTime, settings_.end);
    const bool asking = AskRemembered(searchEnd);
    // The router serves one request at a time, and answering a search holds it up for
    // longer than the remembered description takes: the search waits for that answer,
    // a moment at most, and is not sent at all once it came usable.
    const std::optional<Deadline> hold =
        asking ? std::optional<Deadline>(Earlier(Clock::now() + kRememberedGrace, searchEnd)) : std::nullopt;
    try {
        // Its own copy of the settings: the thread shares nothing with this one but the hand-over.
        ahead_ = std::async(std::launch::async, [settings = settings_, arrivals = arrivals_, hold] {
            if (hold) {
                std::unique_lock<std::mutex> lock(arrivals->mutex);
                arrivals->came.wait_until(lock, *hold, [&] { return arrivals->remembered.has_value(); });
                if (arrivals->remembered && Takes(*arrivals->remembered)) return Found{};
            }
            Found found = Find(settings);
            const std::lock_guard<std::mutex> lock(arrivals->mutex);
            arrivals->searched = found.findings.gateway;
            arrivals->came.notify_all();
            return found;
        });
    } catch (const std::system_error&) {
        // No thread to be had: the first step that asks searches itself.
    }
}

bool GatewaySession::Takes(const IgdAsked& asked)
{
    // The device's UDN comes from its description, never from the file.
    return IgdConnection::Usable(asked) && asked.answer->udn[0] != '\0';
}

// Trusted as the search's answers are: only at the default gateway's address, never at
// this host's. Over by the search's own end, so one that stays silent costs no more.
bool GatewaySession::AskRemembered(Deadline until)
{
    remembered_ = settings_.readRemembered ? settings_.readRemembered() : std::nullopt;
    if (!remembered_) return false;
    const std::optional<Ipv4> gateway = settings_.readDefaultGateway();
    if (!gateway || UrlHost(remembered_->location) != gateway || settings_.readNetwork().IsSelf(*gateway)) {
        rememberedElsewhere_ = true;
        return false;
    }
    try {
        rememberedAsk_ = std::async(std::launch::async, [location = remembered_->location, until, arrivals = arrivals_] {
            IgdAsked asked{location, std::nullopt};
            try {
                asked = IgdConnection::Ask(location, until);
            } catch (const std::exception&) {
                // As no answer: the session must not wait for one that never comes.
            }
            const std::lock_guard<std::mutex> lock(arrivals->mutex);
            arrivals->remembered = std::move(asked);
            arrivals->came.notify_all();
        });
    } catch (const std::system_error&) {
        // No thread: the search alone finds the gateway.
        return false;
    }
    return true;
}

// Waits for the remembered location's answer until the search has found the gateway's
// UPnP somewhere else: a location that went silent holds nothing past that answer. A
// search that found no UPnP (the router's PCP or NAT-PMP alone, or nothing) does not end
// the wait: UPnP comes first, and a router slow to describe itself would lose to its own
// PCP. The ask is over by the search's end. True when it answered as a usable gateway,
// now this session's.
bool GatewaySession::TakeRemembered()
{
    // Told here, not where it was read: nothing of the search is told before a step asks for it.
    if (rememberedElsewhere_)
        GatewayLog("the remembered description at " + remembered_->location + " is not the default gateway's; not asked");
    if (!rememberedAsk_.valid()) return false;
    const std::string& location = remembered_->location;
    std::optional<IgdAsked> asked;
    {
        std::unique_lock<std::mutex> lock(arrivals_->mutex);
        arrivals_->came.wait_until(lock, settings_.end, [&] {
            return arrivals_->remembered ||
                   (arrivals_->searched && *arrivals_->searched && **arrivals_->searched != location);
        });
        asked = arrivals_->remembered;
    }
    if (!asked || !Takes(*asked)) {
        GatewayLog("the remembered description at " + location + " gave no usable gateway; the search's answer is taken");
        return false;
    }
    GatewayLog("asked the remembered description at " + location + " without waiting for the search");
    udn_ = asked->answer->udn;
    gateway_ = IgdConnection::Open(*asked).connection;
    return gateway_ != nullptr;
}

// Kept only when it changed: most runs find the gateway where the last one did.
void GatewaySession::Remember(const std::string& location) const
{
    if (!settings_.remember || udn_.empty()) return;
    if (remembered_ && remembered_->location == location && remembered_->udn == udn_) return;
    settings_.remember({location, udn_});
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
    SearchAhead();
    searched_ = true;
    if (arrivals_ && TakeRemembered()) return;
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
        if (gateway_) return Remember(*found.gateway);
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
