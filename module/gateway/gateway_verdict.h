// Whether a gateway device can give us a port that the Internet reaches.
#pragma once

#include <string>

#include "tell.h"

namespace gateway {

enum class GatewayVerdict {
    Usable,
    NotConnected,
    NoExternalAddress,
    ReservedExternalAddress, // behind another NAT: carrier-grade, or a second gateway
};

GatewayVerdict JudgeGateway(bool connected, const std::string& externalAddress);

// What a gateway with that verdict means for the user, as one sentence.
Told DescribeVerdict(GatewayVerdict verdict, const std::string& gatewayHost, const std::string& externalAddress);

} // namespace gateway
