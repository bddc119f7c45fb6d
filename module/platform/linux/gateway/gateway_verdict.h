// Whether a gateway device can give us a port that the Internet reaches.
#pragma once

#include <string>

namespace gateway {

enum class GatewayVerdict {
    Usable,
    NotConnected,
    NoExternalAddress,
    ReservedExternalAddress, // behind another NAT: carrier-grade, or a second router
};

GatewayVerdict JudgeGateway(bool connected, const std::string& externalAddress);

// Why a gateway with that verdict is of no use, in a few words.
std::string DescribeVerdict(GatewayVerdict verdict, const std::string& externalAddress);

} // namespace gateway
