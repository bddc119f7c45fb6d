// NAT-PMP's mapping requests to the default gateway (RFC 6886), through libnatpmp.
#pragma once

#include "gateway/ipv4_address.h"
#include "gateway/port_control_gateway.h"

namespace gateway {

class NatPmpProtocol final : public PortControlProtocol {
public:
    // `externalAddress`: what the gateway answered to the public address request.
    NatPmpProtocol(Ipv4 gatewayAddress, Ipv4 externalAddress) : gateway_(gatewayAddress), external_(externalAddress) {}

    Method Speaks() const override { return Method::NatPmp; }
    std::optional<PortGrant> Ask(const MappingRequest& request, std::uint32_t lifetime, Deadline deadline) override;

private:
    Ipv4 gateway_;
    Ipv4 external_;
};

} // namespace gateway
