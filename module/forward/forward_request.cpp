// Varneth::Forward: one forward request, TCP then UDP as selected, each mapped on
// the gateway and then let in through the firewall.
#include <algorithm>
#include <optional>
#include <vector>

#include "diagnostics.h"
#include "firewall/firewall_opener.h"
#include "forward/forward_report.h"
#include "forward/varneth.h"
#include "text_lines.h"

namespace {

struct ProtocolPlan {
    wchar_t character;
    const wchar_t* suffix;
    Protocol protocol;
};

constexpr ProtocolPlan kTcp{L't', L" TCP", Protocol::Tcp};
constexpr ProtocolPlan kUdp{L'u', L" UDP", Protocol::Udp};

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

    FirewallState firewall{firewall_()};
    const firewall::Status profile = OpenFirewallProfile(firewall);
    if (!firewall.ProfileObtained) ErrorCode = kErrorNoFirewallProfile;
    ReportFirewallProfile(profile, firewall.ProfileObtained ? firewall.Manager->StateRead() : firewall::Status::Ok,
                          firewall.FirewallOn);

    // Each chosen protocol must be mapped and let in. A protocol the gateway did not
    // map is not let in either: an open port with nothing behind it on the gateway
    // only opens the machine to its own network.
    const std::vector<ProtocolPlan> plans = PlansFor(protocolSelector);
    std::vector<wchar_t> mapped, notMapped;
    bool allOpen = true;
    std::string reachableAt;
    std::optional<long> lease = 0;
    std::vector<firewall::Opening> openings;
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
        const firewall::Opening& opened = openings.emplace_back(OpenFirewallPort(
            *firewall.Manager, {port, plan.protocol, Family::Ipv4, name, NarrowToBytes(internalAddress)}));
        ReportFirewallPort(plan.character, port, opened);
        allOpen = allOpen && (opened.status == firewall::Status::Ok || opened.status == firewall::Status::AlreadyOpen);
        if (opened.status == firewall::Status::Ok) FirewallEntriesMade.push_back(name);
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
    for (const std::string& headline : LeftToAdministrator(openings)) Headline(headline);
    return result;
}
