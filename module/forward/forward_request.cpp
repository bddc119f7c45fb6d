// Varneth::Forward: one forward request, TCP then UDP as selected, each mapped on
// the gateway and then let in through the firewall.
#include <optional>
#include <vector>

#include "tell.h"
#include "firewall/firewall_opener.h"
#include "forward/forward_report.h"
#include "forward/varneth.h"
#include "text_lines.h"

namespace {

struct ProtocolPlan {
    Protocol protocol;
    wchar_t character;
};

constexpr ProtocolPlan kTcp{Protocol::Tcp, L't'};
constexpr ProtocolPlan kUdp{Protocol::Udp, L'u'};

std::vector<ProtocolPlan> PlansFor(std::int32_t protocolSelector)
{
    std::vector<ProtocolPlan> plans;
    for (const Protocol protocol : ProtocolsOf(protocolSelector)) plans.push_back(protocol == Protocol::Tcp ? kTcp : kUdp);
    return plans;
}

std::wstring DescriptionFor(const std::wstring& description, std::int32_t port, const ProtocolPlan& plan)
{
    if (description != L"AUTO") return description;
    return WidenBytes(OwnEntryName(port, plan.protocol));
}

FirewallStep FirewallStepOf(const firewall::Opening& opened, const std::wstring& name)
{
    switch (opened.status) {
    case firewall::Status::AlreadyOpen: return {FirewallStep::Kind::AlreadyOpen, opened.status, {}, {}};
    case firewall::Status::Ok: return {FirewallStep::Kind::Opened, opened.status, NarrowToBytes(name), {}};
    default:
        // Left to an administrator: the entry they are asked to add, for close to remove.
        return {FirewallStep::Kind::Refused, opened.status, {},
                opened.leftToAdministrator.empty() ? std::string() : NarrowToBytes(name)};
    }
}

} // namespace

ForwardResult Varneth::Forward(std::int32_t protocolSelector, std::int32_t port, const std::wstring& internalAddress,
                               const std::wstring& description)
{
    if (internalAddress.empty()) ErrorCode = kErrorEmptyAddress;
    ForwardResult result;
    if (!platform_.enterApartment()) {
        ErrorCode = kErrorComInit;
        return result;
    }

    FirewallState firewall{platform_.firewall()};
    const firewall::Status profile = OpenFirewallProfile(firewall);
    const firewall::Status state =
        firewall.ProfileObtained ? firewall.Manager->StateRead() : firewall::Status::Ok;
    if (!firewall.ProfileObtained) ErrorCode = kErrorNoFirewallProfile;
    ReportFirewallProfile(profile, state, firewall.FirewallOn);
    ForwardOutcome& outcome = result.Outcome;
    outcome.profileObtained = firewall.ProfileObtained;
    outcome.firewallOn = firewall.FirewallOn;
    outcome.internalAddress = NarrowToBytes(internalAddress);
    const FirewallStep::Kind notOn = !firewall.ProfileObtained ? FirewallStep::Kind::NotAsked
                                   : state != firewall::Status::Ok ? FirewallStep::Kind::Unread
                                                               : FirewallStep::Kind::Off;

    // Each chosen protocol must be mapped and let in, its firewall step taken whatever
    // became of its mapping: a person who opens the port in the router by hand finds it
    // let in here. The record and the box say what only the firewall lets in.
    const std::vector<ProtocolPlan> plans = PlansFor(protocolSelector);
    std::vector<wchar_t> mapped, notMapped;
    bool allOpen = true;
    std::string reachableAt;
    for (const ProtocolPlan& plan : plans) {
        PortOutcome& each = outcome.ports.emplace_back();
        each.protocol = plan.protocol;
        each.port = port;
        const std::wstring name = DescriptionFor(description, port, plan);
        if (MapPort(plan.character, port, port, internalAddress, name)) {
            mapped.push_back(plan.character);
            each.grant = Mapping->grant;
            reachableAt = ReportMapped(plan.character, port, internalAddress, *each.grant);
        } else {
            notMapped.push_back(plan.character);
            ReportNotMapped(plan.character, port);
            // Never asked for: nothing to let in either.
            if (!IsPortNumber(port)) continue;
        }
        if (!firewall.FirewallOn) {
            each.firewall.kind = notOn;
            continue;
        }
        const firewall::Opening& opened = outcome.openings.emplace_back(OpenFirewallPort(
            *firewall.Manager, {port, plan.protocol, Family::Ipv4, name, NarrowToBytes(internalAddress)}));
        ReportFirewallPort(plan.character, port, opened);
        allOpen = allOpen && (opened.status == firewall::Status::Ok || opened.status == firewall::Status::AlreadyOpen);
        each.firewall = FirewallStepOf(opened, name);
    }
    const bool handled = !plans.empty();
    result.Mapped = handled && notMapped.empty();
    result.FirewallOpen = handled && firewall.ProfileObtained && allOpen;
    if (!mapped.empty() && !notMapped.empty()) ReportPartlyMapped(port, mapped.front(), notMapped.front());

    if (!result.FirewallOpen && firewall.ProfileObtained) ErrorCode = kErrorFirewallNotOpened;
    if (result.Mapped && result.FirewallOpen && !reachableAt.empty()) ReportReachable(reachableAt);
    for (const Told& headline : LeftToAdministrator(outcome.openings)) Headline(headline);
    ReportFirewallOnly(port, outcome, Collection);
    return result;
}
