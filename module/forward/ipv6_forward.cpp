#include "forward/ipv6_forward.h"

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

// One pinhole asked for: its protocol, and why it was not opened (empty when it was).
struct PinholeOutcome {
    std::string protocol;
    std::string refusal;
};

// "2 hours", "5 minutes": how long a pinhole lasts unless renewed.
std::string Duration(std::uint32_t seconds)
{
    const bool hours = seconds >= 3600 && seconds % 3600 == 0;
    const std::uint32_t count = hours ? seconds / 3600 : seconds / 60;
    return std::to_string(count) + (hours ? " hour" : " minute") + (count == 1 ? "" : "s");
}

// What the router said to each pinhole, asked by `call`; those it opened for `own` for
// `lifetime` seconds are let in here too, reachable at `reachable`.
void ReportPinholes(const std::vector<PinholeOutcome>& outcomes, const std::string& call, const gateway::Ipv6& own,
                    std::int32_t port, const std::string& reachable, std::uint32_t lifetime)
{
    std::vector<std::string> opened;
    for (const PinholeOutcome& outcome : outcomes) {
        if (outcome.refusal.empty()) {
            opened.push_back(outcome.protocol);
            continue;
        }
        DiagnosticLine(call + " " + outcome.protocol + " " + At(own, port) + ": " + outcome.refusal);
        UserLine("The router refused the IPv6 pinhole for " + outcome.protocol + " " + std::to_string(port) + ": " +
                 outcome.refusal + ".");
        // Both protocols refused for one cause write the same line, shown once.
        Headline("The router did not open port " + std::to_string(port) + " over IPv6 (" + outcome.refusal + ")." +
                 OpenInRouter(port));
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
             std::to_string(port) + " over IPv6 to " + gateway::ToString(own) + " for " + Duration(lifetime) +
             ", renewed until it is closed.");
    Headline("Reachable over IPv6 at " + reachable);
}

// The UPnP firewall control's answer to AddPinhole, per protocol.
void ReportPinholes(const PinholeAnswer& answer, const std::vector<std::string>& protocols, const gateway::Ipv6& own,
                    std::int32_t port)
{
    std::vector<PinholeOutcome> outcomes;
    for (std::size_t i = 0; i < protocols.size(); ++i)
        outcomes.push_back({protocols[i], answer.codes[i] == 0 ? std::string() : gateway::UpnpErrorText(answer.codes[i])});
    ReportPinholes(outcomes, "AddPinhole", own, port, At(own, port), gateway::kPinholeLeaseSeconds);
}

// PCP's answers to MAP, in the order of `protocols`; one not answered in time is refused.
// Reachable where the router says: our own address, unless it translates IPv6 too.
void ReportPinholes(const std::vector<gateway::pcp::Answer>& answers, const std::vector<std::string>& protocols,
                    const gateway::Ipv6& own, std::int32_t port)
{
    std::vector<PinholeOutcome> outcomes;
    const gateway::pcp::Answer* granted = nullptr;
    for (std::size_t i = 0; i < protocols.size(); ++i) {
        const bool answered = i < answers.size();
        const bool opened = answered && answers[i].result == gateway::pcp::kSuccess && answers[i].lifetime > 0;
        if (opened && !granted) granted = &answers[i];
        outcomes.push_back({protocols[i], opened     ? std::string()
                                          : answered ? "PCP " + gateway::pcp::ResultText(answers[i].result)
                                                     : "no PCP answer in time"});
    }
    const std::string reachable = granted ? At(granted->externalAddress, granted->externalPort) : std::string();
    ReportPinholes(outcomes, "PCP MAP", own, port, reachable, granted ? granted->lifetime : 0);
}

void Report(const PinholeAnswer& answer, const std::vector<std::string>& protocols, const gateway::Ipv6& own,
            std::int32_t port)
{
    switch (answer.stage) {
    case PinholeStage::NoService:
        return Say("The router offers no way to open ports over IPv6 (no IPv6 firewall control, no PCP)." +
                   OpenInRouter(port));
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
    // A link-local router is reached through the interface that holds the IPv4 address.
    const gateway::PinholeRequest request{NarrowToBytes(ipv4Address), gateway::ToString(*own),
                                          gateway::host::ScopeToward(*router, *ipv4), port, protocols};
    const auto answer = OpenGatewayPinholes(*router, request);
    // The gateway's UPnP has no say on IPv6: its IPv6 router may still answer PCP there.
    if (!answer || answer->stage == PinholeStage::NoService) {
        const auto answers = OpenPcpPinholes(*router, request);
        if (!answers.empty()) return ReportPinholes(answers, protocols, *own, port);
    }
    Report(answer ? *answer : PinholeAnswer{}, protocols, *own, port);
}
