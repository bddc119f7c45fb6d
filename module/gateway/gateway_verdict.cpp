#include "gateway/gateway_verdict.h"

#include "gateway/ipv4_address.h"
#include "gateway/reserved_address.h"

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

std::string DescribeVerdict(GatewayVerdict verdict, const std::string& gatewayHost, const std::string& externalAddress)
{
    constexpr const char* noPorts = ": ports cannot be opened from this network.";
    switch (verdict) {
    case GatewayVerdict::Usable: break;
    case GatewayVerdict::NotConnected: return "The gateway " + gatewayHost + " says it is not connected to the Internet.";
    case GatewayVerdict::NoExternalAddress:
        return "The gateway " + gatewayHost + " has no external address: it is not connected, or sits behind another router.";
    case GatewayVerdict::ReservedExternalAddress:
        return IsSharedAddressSpace(*ParseIpv4(externalAddress))
                   ? "The gateway's external address " + externalAddress + " is carrier-grade NAT" + noPorts
                   : "The gateway's external address " + externalAddress +
                         " is not reachable from the Internet (another router sits in front of it)" + noPorts;
    }
    return {};
}

} // namespace gateway
