// Varneth::Forward: one forward request, TCP then UDP as selected, each mapped on
// the gateway and then let in through the firewall.
#include <optional>
#include <vector>

#include "firewall/firewall_opener.h"
#include "forward/forward_report.h"
#include "forward/varneth.h"
#include "text_lines.h"

namespace {

struct ProtocolPlan {
    Protocol protocol;
    wchar_t character;
    NET_FW_IP_PROTOCOL number;
};

constexpr ProtocolPlan kTcp{Protocol::Tcp, L't', NET_FW_IP_PROTOCOL_TCP};
constexpr ProtocolPlan kUdp{Protocol::Udp, L'u', NET_FW_IP_PROTOCOL_UDP};

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

FirewallStep FirewallStepOf(HRESULT opened, const std::wstring& name)
{
    if (opened == S_FALSE) return {FirewallStep::Kind::AlreadyOpen, firewall::Status::AlreadyOpen, {}};
    if (SUCCEEDED(opened)) return {FirewallStep::Kind::Opened, firewall::Status::Ok, NarrowToBytes(name)};
    return {FirewallStep::Kind::Refused,
            opened == E_ACCESSDENIED ? firewall::Status::AccessDenied : firewall::Status::Failed, {}};
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

    FirewallState firewall;
    const HRESULT profile = OpenFirewallProfile(firewall);
    HRESULT state = S_OK;
    if (FAILED(profile)) {
        ErrorCode = kErrorNoFirewallProfile;
    } else {
        firewall.ProfileObtained = true;
        state = ReadFirewallEnabled(firewall.Profile.get(), firewall.FirewallOn);
    }
    ReportFirewallProfile(profile, state, firewall.FirewallOn);
    ForwardOutcome& outcome = result.Outcome;
    outcome.profileObtained = firewall.ProfileObtained;
    outcome.firewallOn = firewall.FirewallOn;
    const FirewallStep::Kind notOn = !firewall.ProfileObtained ? FirewallStep::Kind::NotAsked
                                   : FAILED(state)             ? FirewallStep::Kind::Unread
                                                               : FirewallStep::Kind::Off;

    // Each chosen protocol must be mapped and let in. A protocol the gateway did not
    // map is not let in either: an open port with nothing behind it on the gateway
    // only opens the machine to its own network.
    const std::vector<ProtocolPlan> plans = PlansFor(protocolSelector);
    std::vector<wchar_t> mapped, notMapped;
    bool allOpen = true;
    std::string reachableAt;
    for (const ProtocolPlan& plan : plans) {
        PortOutcome& each = outcome.ports.emplace_back();
        each.protocol = plan.protocol;
        const std::wstring name = DescriptionFor(description, port, plan);
        if (!MapPort(plan.character, port, port, internalAddress, name)) {
            notMapped.push_back(plan.character);
            ReportNotMapped(plan.character, port);
            if (firewall.FirewallOn) ReportFirewallSkipped(plan.character, port);
            continue;
        }
        mapped.push_back(plan.character);
        each.grant = Mapping->grant;
        reachableAt = ReportMapped(plan.character, port, internalAddress, *each.grant);
        if (!firewall.FirewallOn) {
            each.firewall.kind = notOn;
            continue;
        }
        const HRESULT opened = OpenFirewallPort(firewall.Profile.get(), port, plan.number, name);
        ReportFirewallPort(plan.character, port, opened);
        allOpen = allOpen && SUCCEEDED(opened);
        each.firewall = FirewallStepOf(opened, name);
    }
    const bool handled = !plans.empty();
    result.Mapped = handled && notMapped.empty();
    result.FirewallOpen = handled && firewall.ProfileObtained && allOpen;
    if (!mapped.empty() && !notMapped.empty()) ReportPartlyMapped(port, mapped.front(), notMapped.front());

    if (!result.FirewallOpen && firewall.ProfileObtained) ErrorCode = kErrorFirewallNotOpened;
    if (result.Mapped && result.FirewallOpen && !reachableAt.empty()) ReportReachable(reachableAt);
    return result;
}
