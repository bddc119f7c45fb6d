// PCP's MAP requests to the default gateway (RFC 6887).
#pragma once

#include "gateway/ipv4_address.h"
#include "gateway/pcp/pcp_message.h"
#include "gateway/port_control_gateway.h"

namespace gateway {

class PcpProtocol final : public PortControlProtocol {
public:
    // One random nonce for the run's mappings, so that the run can delete what it made.
    explicit PcpProtocol(Ipv4 gatewayAddress);

    Method Speaks() const override { return Method::Pcp; }
    std::optional<PortGrant> Ask(const MappingRequest& request, std::uint32_t lifetime, Deadline deadline) override;
    std::string NonceText() const override;
    bool UseNonce(const std::string& hex) override;

private:
    Ipv4 gateway_;
    pcp::Nonce nonce_;
};

} // namespace gateway
