// The PCP and NAT-PMP questions of the gateway search, sent to the default gateway's
// port 5351 at the moment of the SSDP search and served in its wait: PCP's ANNOUNCE,
// and NAT-PMP's request for the external address.
#pragma once

#include <array>
#include <memory>
#include <optional>

#include "gateway/natpmp/natpmp_exchange.h"
#include "gateway/pcp/pcp_exchange.h"
#include "gateway/port_control_gateway.h"
#include "tell.h"

namespace gateway {

class PortControlProbe {
public:
    explicit PortControlProbe(Ipv4 gatewayAddress);

    std::array<Exchange*, 2> Exchanges() { return {&pcp_, &natpmp_}; }
    // Neither question waits for its answer any more.
    bool Settled() const;
    // A protocol answered that can be mapped with.
    bool Answered() const { return PcpAnswered() || NatPmpAnswered(); }
    // How long an answer, once in, waits for a better one (UPnP, or PCP over NAT-PMP)
    // from a gateway that neither answers nor refuses: a gateway answers in a round trip.
    Deadline GraceEnd() const { return started_ + std::chrono::milliseconds(200); }

    // Waits for the answers still out (past the grace only while none is in, until
    // `deadline`), then gives the protocol to map with: PCP when it answered, else
    // NAT-PMP with a reachable external address; null, with the reason on standard
    // error, when neither can.
    std::unique_ptr<PortControlGateway> Choose(Deadline deadline);
    // When Choose gave nothing: why, as a headline for the user; none when neither answered.
    std::optional<Told> Headline() const;

private:
    bool PcpAnswered() const;
    bool NatPmpAnswered() const;
    void ReportRefusals() const;

    Ipv4 gateway_;
    Deadline started_ = Clock::now();
    PcpExchange pcp_;
    NatPmpExchange natpmp_;
};

} // namespace gateway
