// Varneth::Forward: one forward request, TCP then UDP as selected, each mapped on
// the gateway and then let in through the firewall.
#include <vector>

#include "firewall_opener.h"
#include "varneth.h"

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
    if (FAILED(OpenFirewallProfile(firewall))) {
        ErrorCode = kErrorNoFirewallProfile;
    } else {
        firewall.ProfileObtained = true;
        firewall.FirewallOn = IsFirewallOn(firewall.Profile.get());
    }

    for (const ProtocolPlan& plan : PlansFor(protocolSelector)) {
        const std::wstring name = DescriptionFor(description, port, plan);
        // With both protocols the UDP outcome is the one that stays.
        result.Mapped = MapPort(plan.character, port, port, internalAddress, name);
        if (!firewall.FirewallOn)
            result.FirewallOpen = firewall.ProfileObtained;
        else if (SUCCEEDED(OpenFirewallPort(firewall.Profile.get(), port, plan.number, name)))
            result.FirewallOpen = true;
    }

    if (!result.FirewallOpen && firewall.ProfileObtained) ErrorCode = kErrorFirewallNotOpened;
    return result;
}
