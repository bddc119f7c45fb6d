#include "gateway_verdict.h"

#include "ipv4_address.h"
#include "reserved_address.h"

namespace gateway {

GatewayVerdict JudgeGateway(bool connected, const std::string& externalAddress)
{
    const auto address = ParseIpv4(externalAddress);
    // Some gateways behind another NAT say "Connected" and withhold their address.
    if (!address || address->value == 0) return GatewayVerdict::NoExternalAddress;
    if (IsReservedAddress(*address)) return GatewayVerdict::ReservedExternalAddress;
    if (!connected) return GatewayVerdict::NotConnected;
    return GatewayVerdict::Usable;
}

std::string DescribeVerdict(GatewayVerdict verdict, const std::string& externalAddress)
{
    switch (verdict) {
    case GatewayVerdict::Usable: return "usable, external address " + externalAddress;
    case GatewayVerdict::NotConnected: return "reports that it is not connected to the Internet";
    case GatewayVerdict::NoExternalAddress:
        return "reports no external address (not connected, or behind another NAT)";
    case GatewayVerdict::ReservedExternalAddress:
        return "has the reserved external address " + externalAddress +
               " (behind carrier-grade NAT or another router): the Internet cannot reach its ports";
    }
    return {};
}

} // namespace gateway
