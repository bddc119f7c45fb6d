// Varneth::Forward: one forward request, TCP then UDP as selected, each mapped on
// the gateway and then let in through the firewall.
#include <algorithm>
#include <optional>
#include <vector>

#include "firewall/firewall_opener.h"
#include "forward/forward_report.h"
#include "forward/varneth.h"

namespace {

struct ProtocolPlan {
    wchar_t character;
    const wchar_t* suffix;
    NET_FW_IP_PROTOCOL number;
};

constexpr ProtocolPlan kTcp{L't', L" TCP", NET_FW_IP_PROTOCOL_TCP};
constexpr ProtocolPlan kUdp{L'u', L" UDP", NET_FW_IP_PROTOCOL_UDP};

std::vector<ProtocolPlan> PlansFor(std::int32_t protocolSelector)
{
    switch (protocolSelector) {
    case 0: return {kTcp};
    case 1: return {kUdp};
    case 2: return {kTcp, kUdp};
    default: return {};
    }
}

// The shorter of two leases, 0 being none at all; nothing when either is unknown.
std::optional<long> Shorter(std::optional<long> a, std::optional<long> b)
{
    if (!a || !b) return std::nullopt;
    if (*a == 0 || *b == 0) return std::max(*a, *b);
    return std::min(*a, *b);
}

std::wstring DescriptionFor(const std::wstring& description, std::int32_t port, const ProtocolPlan& plan)
{
    if (description != L"AUTO") return description;
    return L"HLMX " + std::to_wstring(port) + plan.suffix;
}

} // namespace

ForwardResult Varneth::Forward(std::int32_t protocolSelector, std::int32_t port, const std::wstring& internalAddress,
                               const std::wstring& description)
{
    if (internalAddress.empty()) ErrorCode = kErrorEmptyAddress;
    ForwardResult result;
    if (FAILED(CoInitialize(nullptr))) {
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

    // Each chosen protocol must be mapped and let in. A protocol the gateway did not
    // map is not let in either: an open port with nothing behind it on the gateway
    // only opens the machine to its own network.
    const std::vector<ProtocolPlan> plans = PlansFor(protocolSelector);
    std::vector<wchar_t> mapped, notMapped;
    bool allOpen = true;
    std::string reachableAt;
    std::optional<long> lease = 0;
    for (const ProtocolPlan& plan : plans) {
        const std::wstring name = DescriptionFor(description, port, plan);
        if (!MapPort(plan.character, port, port, internalAddress, name)) {
            notMapped.push_back(plan.character);
            ReportNotMapped(plan.character, port);
            if (firewall.FirewallOn) ReportFirewallSkipped(plan.character, port);
            continue;
        }
        mapped.push_back(plan.character);
        reachableAt = ReportMapped(plan.character, port, internalAddress, Mapping.get());
        lease = Shorter(lease, MappingLease(Mapping.get()));
        if (!firewall.FirewallOn) continue;
        const HRESULT opened = OpenFirewallPort(firewall.Profile.get(), port, plan.number, name);
        ReportFirewallPort(plan.character, port, opened);
        allOpen = allOpen && SUCCEEDED(opened);
        if (opened == S_OK) FirewallEntriesMade.push_back(name);
    }
    const bool handled = !plans.empty();
    result.Mapped = handled && notMapped.empty();
    result.FirewallOpen = handled && firewall.ProfileObtained && allOpen;
    if (!mapped.empty() && !notMapped.empty()) ReportPartlyMapped(port, mapped.front(), notMapped.front());

    if (!result.FirewallOpen && firewall.ProfileObtained) ErrorCode = kErrorFirewallNotOpened;
    if (result.Mapped && result.FirewallOpen) {
        if (!reachableAt.empty()) ReportReachable(reachableAt);
        Lease = lease;
    }
    return result;
}
