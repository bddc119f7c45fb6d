#include "ipv6_forward.h"

#include <optional>
#include <vector>

#include "diagnostics.h"
#include "gateway/gateway_classes.h"
#include "gateway/host/ipv6_interface.h"
#include "gateway/upnp/upnp_errors.h"
#include "platform/closed_over_ipv6.h"
#include "platform/port_number.h"
#include "text_lines.h"

namespace {

using gateway::PinholeAnswer;
using gateway::PinholeStage;

std::string OpenInRouter(std::int32_t port)
{
    return " Open port " + std::to_string(port) + " for IPv6 in the router's own settings.";
}

// One sentence to the user and as the headline: the IPv6 side's outcome.
void Say(const std::string& sentence)
{
    UserLine(sentence);
    Headline(sentence);
}

// A router the global address can ask: on the LAN's global prefix, or on the link (what
// routers advertise), where it is asked from the global address all the same.
bool CanAsk(const gateway::Ipv6& router) { return gateway::IsGlobalUnicast(router) || gateway::IsLinkLocal(router); }

std::string NotReached(std::int32_t port)
{
    return "The router could not be reached over IPv6, so port " + std::to_string(port) + " was not opened there." +
           OpenInRouter(port);
}

std::string At(const gateway::Ipv6& address, std::int32_t port)
{
    return "[" + gateway::ToString(address) + "]:" + std::to_string(port);
}

// What the gateway said to each pinhole; `protocols` in the order asked.
void ReportPinholes(const PinholeAnswer& answer, const std::vector<std::string>& protocols,
                    const gateway::Ipv6& own, std::int32_t port)
{
    std::vector<std::string> opened;
    for (std::size_t i = 0; i < protocols.size(); ++i) {
        const int code = answer.codes[i];
        if (code == 0) {
            opened.push_back(protocols[i]);
            continue;
        }
        DiagnosticLine("AddPinhole " + protocols[i] + " " + At(own, port) + ": " + gateway::UpnpErrorText(code));
        UserLine("The router refused the IPv6 pinhole for " + protocols[i] + " " + std::to_string(port) + ": " +
                 gateway::UpnpErrorText(code) + ".");
        // Both protocols refused for one cause write the same line, shown once.
        Headline("The router did not open port " + std::to_string(port) + " over IPv6 (" +
                 gateway::UpnpErrorText(code) + ")." + OpenInRouter(port));
    }
    if (opened.empty()) return;
    OpenOverIpv6(port, opened);
    const std::vector<std::string> closed = ClosedOverIpv6(port);
    if (!closed.empty()) {
        std::string why;
        for (const std::string& each : closed) why += (why.empty() ? "" : "; ") + each;
        UserLine("This machine's firewall keeps port " + std::to_string(port) + " closed over IPv6: " + why + ".");
        return Headline("The router opened port " + std::to_string(port) +
                        " over IPv6, but this machine's firewall keeps it closed there, so it is not reachable over "
                        "IPv6 yet (" + why + ").");
    }
    UserLine("The router opened " + (opened.size() == 2 ? opened[0] + " and " + opened[1] : opened[0]) + " " +
             std::to_string(port) + " over IPv6 to " + gateway::ToString(own) + " for " +
             std::to_string(gateway::kPinholeLeaseSeconds / 3600) +
             " hours, renewed with the IPv4 forward.");
    Headline("Reachable over IPv6 at " + At(own, port));
}

void Report(const PinholeAnswer& answer, const std::vector<std::string>& protocols, const gateway::Ipv6& own,
            std::int32_t port)
{
    switch (answer.stage) {
    case PinholeStage::NoService:
        return Say("The router offers no way to open ports over IPv6 (no IPv6 firewall control)." + OpenInRouter(port));
    case PinholeStage::NoDescription:
        return Say(NotReached(port));
    case PinholeStage::OtherDevice:
        return Say("This network's IPv6 router is another device than its Internet gateway, so it was not asked "
                   "to open port " + std::to_string(port) + "." + OpenInRouter(port));
    case PinholeStage::NoStatus:
        DiagnosticLine("GetFirewallStatus: " + gateway::UpnpErrorText(answer.statusCode));
        return Say("The router did not tell about its IPv6 firewall, so port " + std::to_string(port) +
                   " was not opened over IPv6. Try again in a moment.");
    case PinholeStage::FirewallOff:
        return Say("The router's IPv6 firewall is off, so it already lets everyone reach " + At(own, port) + ".");
    case PinholeStage::NoPinholes:
        return Say("The router's IPv6 firewall lets no ports be opened from this network." + OpenInRouter(port));
    case PinholeStage::Asked:
        return ReportPinholes(answer, protocols, own, port);
    }
}

} // namespace

void ForwardOverIpv6(const std::wstring& ipv4Address, std::int32_t port, bool tcp, bool udp, bool asked)
{
    const auto ipv4 = gateway::ParseIpv4(NarrowToBytes(ipv4Address));
    const std::optional<gateway::Ipv6> own = ipv4 ? gateway::host::ReadGlobalIpv6(*ipv4) : std::nullopt;
    if (!asked) {
        // Offered only where a pinhole can be asked for. Where the system shows no IPv6
        // routes, the gateway is searched for on the link only once asked: an IPv4 forward
        // does not wait for it.
        const auto router = own ? gateway::host::ReadIpv6DefaultRouter(*ipv4) : std::nullopt;
        if ((router && CanAsk(*router)) || (own && !gateway::host::Ipv6RoutesShown(*ipv4)))
            Headline(kIpv6OfferHeadline);
        return;
    }
    if (!IsPortNumber(port) || (!tcp && !udp)) return; // the IPv4 side has said why
    const std::string network = NarrowToBytes(ipv4Address) + "'s network";
    if (!own)
        return Say("This machine has no global IPv6 address on " + network + ", so port " + std::to_string(port) +
                   " cannot be opened over IPv6.");
    DiagnosticLine("ipv6 " + gateway::ToString(*own));
    const auto router = Ipv6RouterToAsk(*ipv4, *own);
    if (!router && !gateway::host::Ipv6RoutesShown(*ipv4)) return Say(NotReached(port));
    if (!router)
        return Say("This machine has no IPv6 default route on " + network + ", so port " + std::to_string(port) +
                   " cannot be opened over IPv6.");
    if (!CanAsk(*router))
        return Say("This network's IPv6 router has a private (unique-local) address only, so it was not asked to "
                   "open port " + std::to_string(port) + "." + OpenInRouter(port));
    std::vector<std::string> protocols;
    if (tcp) protocols.push_back("TCP");
    if (udp) protocols.push_back("UDP");
    gateway::PinholeRequest request{NarrowToBytes(ipv4Address), gateway::ToString(*own), 0, port, protocols};
    // A link-local router is reached through the interface that holds the IPv4 address.
    if (gateway::IsLinkLocal(*router)) request.routerScope = gateway::host::ReadInterfaceIndex(*ipv4);
    const auto answer = OpenGatewayPinholes(*router, request);
    Report(answer ? *answer : PinholeAnswer{}, protocols, *own, port);
}
