#include "forward/ipv6_forward.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "forward/sentences.h"
#include "tell.h"
#include "gateway/host/ipv6_interface.h"
#include "gateway/pinholes.h"
#include "gateway/upnp/upnp_errors.h"
#include "firewall/firewall_opener.h"
#include "text_lines.h"

namespace {

using gateway::PinholeStage;

// One sentence to the user and as the headline: the IPv6 side's outcome, where no
// pinhole was opened.
std::vector<std::wstring> Say(const Told& told)
{
    Tell(told);
    Headline(told);
    return {};
}

Told Said(const Sentence& sentence, std::int32_t port) { return Compose(sentence, {{"port", std::to_string(port)}}); }

// A gateway the global address can ask: on the LAN's global prefix, or on the link (what
// gateways advertise), where it is asked from the global address all the same.
bool CanAsk(const gateway::Ipv6& ipv6Gateway)
{
    return gateway::IsGlobalUnicast(ipv6Gateway) || gateway::IsLinkLocal(ipv6Gateway);
}

std::string At(const gateway::Ipv6& address, std::int32_t port)
{
    return "[" + gateway::ToString(address) + "]:" + std::to_string(port);
}

// "2 hours", "5 minutes": how long a pinhole lasts unless renewed.
std::string Duration(std::uint32_t seconds)
{
    const bool hours = seconds >= 3600 && seconds % 3600 == 0;
    const std::uint32_t count = hours ? seconds / 3600 : seconds / 60;
    return std::to_string(count) + (hours ? " hour" : " minute") + (count == 1 ? "" : "s");
}

// The firewall the pinholes are let in through, and the IPv4 address of their forward,
// whose interface's zone firewalld opens them in.
struct Ipv6Firewall {
    const firewall::FirewallFactory& manager;
    std::string ipv4Address;
};

// What the gateway said to each pinhole, asked by `call`; those it opened for `own` are let
// in through `firewall` too. The names of the firewall entries made for them.
std::vector<std::wstring> ReportPinholes(const gateway::PinholeAnswers& answers, const std::string& call,
                                         const gateway::Ipv6& own, std::int32_t port, const Ipv6Firewall& firewall)
{
    std::vector<std::string> opened;
    std::vector<Protocol> protocols;
    const gateway::PinholeReply* first = nullptr;
    for (const gateway::PinholeReply& reply : answers.replies) {
        const std::string protocol(Name(reply.protocol));
        if (reply.grant) {
            opened.push_back(protocol);
            protocols.push_back(reply.protocol);
            if (!first) first = &reply;
            continue;
        }
        DiagnosticLine(call + " " + protocol + " " + At(own, port) + ": " + reply.refusal);
        Tell(forward::sentence::PinholeRefused,
             {{"protocol", protocol}, {"port", std::to_string(port)}, {"reason", reply.refusal}});
        // Both protocols refused for one cause write the same line, shown once.
        Headline(forward::sentence::Ipv6NotOpened, {{"port", std::to_string(port)}, {"reason", reply.refusal}});
    }
    if (!first) return {};
    FirewallOverIpv6 firewalled = OpenFirewallOverIpv6(firewall.manager, port, protocols, firewall.ipv4Address);
    if (!firewalled.closed.empty()) {
        std::string why;
        for (const std::string& each : firewalled.closed) why += (why.empty() ? "" : "; ") + each;
        Tell(forward::sentence::FirewallKeepsIpv6Closed, {{"port", std::to_string(port)}, {"why", why}});
        Headline(forward::sentence::Ipv6OpenedClosedHere, {{"port", std::to_string(port)}, {"why", why}});
        return std::move(firewalled.entriesMade);
    }
    // Reachable where the gateway says: our own address, unless it translates IPv6 too (PCP).
    const auto reachable = gateway::ParseIpv6(first->grant->externalAddress);
    Tell(forward::sentence::Ipv6Opened,
         {{"protocols", opened.size() == 2 ? opened[0] + " and " + opened[1] : opened[0]},
          {"port", std::to_string(port)},
          {"address", gateway::ToString(own)},
          {"duration", Duration(static_cast<std::uint32_t>(first->grant->lease.value_or(0)))}});
    Headline(forward::sentence::ReachableOverIpv6,
             {{"endpoint", reachable ? At(*reachable, first->reachablePort) : std::string()}});
    return std::move(firewalled.entriesMade);
}

std::vector<std::wstring> Report(const gateway::PinholeAnswers& answers, const gateway::Ipv6& own, std::int32_t port,
                                 const Ipv6Firewall& firewall)
{
    switch (answers.stage) {
    case PinholeStage::NoService:
        return Say(Said(forward::sentence::NoIpv6Way, port));
    case PinholeStage::NoDescription:
        return Say(Said(forward::sentence::Ipv6NotReached, port));
    case PinholeStage::OtherDevice:
        return Say(Said(forward::sentence::Ipv6OtherDevice, port));
    case PinholeStage::NoStatus:
        DiagnosticLine("GetFirewallStatus: " + gateway::UpnpErrorText(answers.statusCode));
        return Say(Said(forward::sentence::Ipv6FirewallUntold, port));
    case PinholeStage::FirewallOff:
        return Say(Compose(forward::sentence::Ipv6FirewallOff, {{"endpoint", At(own, port)}}));
    case PinholeStage::NoPinholes:
        return Say(Said(forward::sentence::NoIpv6Pinholes, port));
    case PinholeStage::Asked:
        return ReportPinholes(answers, "AddPinhole", own, port, firewall);
    }
    return {};
}

// The pinholes opened, as the forward's outcome over IPv6, each with the firewall entry
// made for it, if any.
std::vector<PortOutcome> PortsOf(const gateway::PinholeAnswers& answers, const std::vector<std::wstring>& entriesMade)
{
    std::vector<PortOutcome> ports;
    for (const gateway::PinholeReply& reply : answers.replies) {
        if (!reply.grant) continue;
        PortOutcome& each = ports.emplace_back(PortOutcome{reply.protocol, Family::Ipv6, reply.grant, {}, reply.grant->externalPort});
        const std::string name = OwnEntryName(reply.grant->externalPort, reply.protocol);
        if (std::find(entriesMade.begin(), entriesMade.end(), WidenBytes(name)) != entriesMade.end())
            each.firewall = {FirewallStep::Kind::Opened, firewall::Status::Ok, name, {}};
    }
    return ports;
}

} // namespace

Ipv6Result ForwardOverIpv6(gateway::GatewaySession& session, const std::wstring& ipv4Address, std::int32_t port,
                           bool tcp, bool udp, bool asked, const firewall::FirewallFactory& firewall)
{
    Ipv6Result result;
    const auto ipv4 = gateway::ParseIpv4(NarrowToBytes(ipv4Address));
    const std::optional<gateway::Ipv6> own = ipv4 ? gateway::host::ReadGlobalIpv6(*ipv4) : std::nullopt;
    if (!asked) {
        // Offered only where a pinhole can be asked for. Where the system shows no IPv6
        // routes, the gateway is searched for on the link only once asked: an IPv4 forward
        // does not wait for it.
        const auto ipv6Gateway = own ? gateway::host::ReadIpv6DefaultGateway(*ipv4) : std::nullopt;
        result.offered = (ipv6Gateway && CanAsk(*ipv6Gateway)) || (own && !gateway::host::Ipv6RoutesShown(*ipv4));
        if (result.offered) Headline(forward::sentence::Ipv6Offer);
        return result;
    }
    if (!IsPortNumber(port) || (!tcp && !udp)) return result; // the IPv4 side has said why
    const std::string network = NarrowToBytes(ipv4Address) + "'s network";
    if (!own) {
        Say(Compose(forward::sentence::NoGlobalIpv6, {{"network", network}, {"port", std::to_string(port)}}));
        return result;
    }
    DiagnosticLine("ipv6 " + gateway::ToString(*own));
    const auto ipv6Gateway = session.Ipv6Gateway(*ipv4, *own);
    if (!ipv6Gateway && !gateway::host::Ipv6RoutesShown(*ipv4)) {
        Say(Said(forward::sentence::Ipv6NotReached, port));
        return result;
    }
    if (!ipv6Gateway) {
        Say(Compose(forward::sentence::NoIpv6Route, {{"network", network}, {"port", std::to_string(port)}}));
        return result;
    }
    if (!CanAsk(*ipv6Gateway)) {
        Say(Said(forward::sentence::Ipv6UniqueLocalOnly, port));
        return result;
    }
    std::vector<Protocol> protocols;
    if (tcp) protocols.push_back(Protocol::Tcp);
    if (udp) protocols.push_back(Protocol::Udp);
    // A link-local gateway is reached through the interface that holds the IPv4 address.
    const gateway::PinholeRequest request{NarrowToBytes(ipv4Address), gateway::ToString(*own),
                                          gateway::host::ScopeToward(*ipv6Gateway, *ipv4), port, protocols};
    const auto upnp = gateway::OpenUpnpPinholes(session, *ipv6Gateway, request);
    const Ipv6Firewall ipv6Firewall{firewall, request.forwardAddress};
    // The gateway's UPnP has no say on IPv6: its IPv6 side may still answer PCP there.
    if (!upnp || upnp->stage == PinholeStage::NoService) {
        if (const auto pcp = gateway::OpenPcpPinholes(session, *ipv6Gateway, request)) {
            result.ports = PortsOf(*pcp, ReportPinholes(*pcp, "PCP MAP", *own, port, ipv6Firewall));
            return result;
        }
    }
    const gateway::PinholeAnswers answers = upnp ? *upnp : gateway::PinholeAnswers{};
    result.ports = PortsOf(answers, Report(answers, *own, port, ipv6Firewall));
    return result;
}
