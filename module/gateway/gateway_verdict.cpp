#include "gateway/gateway_verdict.h"
#include "gateway/sentences.h"

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

Told DescribeVerdict(GatewayVerdict verdict, const std::string& gatewayHost, const std::string& externalAddress)
{
    switch (verdict) {
    case GatewayVerdict::Usable: break;
    case GatewayVerdict::NotConnected: return Compose(sentence::SaysNotConnected, {{"gateway", gatewayHost}});
    case GatewayVerdict::NoExternalAddress: return Compose(sentence::HasNoExternalAddress, {{"gateway", gatewayHost}});
    case GatewayVerdict::ReservedExternalAddress:
        return Compose(IsSharedAddressSpace(*ParseIpv4(externalAddress)) ? sentence::ExternalCgnat
                                                                          : sentence::ExternalUnreachable,
                       {{"address", externalAddress}});
    }
    return {};
}

} // namespace gateway
