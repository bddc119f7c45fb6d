#include "gateway/port_control_probe.h"
#include "gateway/sentences.h"

#include "tell.h"
#include "gateway/gateway_verdict.h"
#include "gateway/natpmp/natpmp_answer.h"
#include "gateway/natpmp/natpmp_protocol.h"
#include "gateway/pcp/pcp_protocol.h"
#include "gateway/reserved_address.h"
#include "gateway/gateway_headlines.h"

namespace gateway {
namespace {

bool Waiting(const Exchange& exchange) { return exchange.Progress() == Exchange::State::Waiting; }

Ipv4 PublicAddress(const natpmpresp_t& answer) { return Ipv4{ntohl(answer.pnu.publicaddress.addr.s_addr)}; }

} // namespace

PortControlProbe::PortControlProbe(Ipv4 gatewayAddress)
    : gateway_(gatewayAddress),
      pcp_(ConnectToPortControl(gatewayAddress, std::nullopt),
           pcp::EncodeAnnounce(SourceAddressToward(gatewayAddress).value_or(Ipv4{0})), [](const pcp::Answer& answer) { return answer.opcode == pcp::kAnnounce; }),
      natpmp_(gatewayAddress, natpmp::kPublicAddress, sendpublicaddressrequest)
{
}

bool PortControlProbe::Settled() const { return !Waiting(pcp_) && !Waiting(natpmp_); }

bool PortControlProbe::PcpAnswered() const { return pcp_.Reply() && pcp_.Reply()->result == pcp::kSuccess; }

bool PortControlProbe::NatPmpAnswered() const
{
    return natpmp_.Reply() && natpmp_.Reply()->resultcode == 0 && !IsReservedAddress(PublicAddress(*natpmp_.Reply()));
}

std::unique_ptr<PortControlGateway> PortControlProbe::Choose(Deadline deadline)
{
    // PCP's yes decides at once; NAT-PMP's waits out the grace for a PCP answer.
    if (!PcpAnswered()) Await({&pcp_, &natpmp_}, Earlier(GraceEnd(), deadline));
    if (!Answered()) Await({&pcp_, &natpmp_}, deadline);
    ReportRefusals();
    if (PcpAnswered()) {
        Tell(sentence::PcpAnswered, {{"gateway", ToString(gateway_)}});
        return std::make_unique<PortControlGateway>(gateway_, std::make_unique<PcpProtocol>(gateway_));
    }
    if (NatPmpAnswered()) {
        const Ipv4 external = PublicAddress(*natpmp_.Reply());
        Tell(sentence::NatPmpAnswered, {{"gateway", ToString(gateway_)}, {"address", ToString(external)}});
        Tell(sentence::NatPmpUnverified);
        return std::make_unique<PortControlGateway>(gateway_, std::make_unique<NatPmpProtocol>(gateway_, external));
    }
    return nullptr;
}

void PortControlProbe::ReportRefusals() const
{
    if (pcp_.Reply() && pcp_.Reply()->result != pcp::kSuccess)
        Tell(sentence::PcpRefusedProbe, {{"gateway", ToString(gateway_)}, {"result", pcp::ResultText(pcp_.Reply()->result)}});
    if (!natpmp_.Reply()) return;
    if (natpmp_.Reply()->resultcode != 0)
        Tell(sentence::NatPmpRefusedProbe,
             {{"gateway", ToString(gateway_)}, {"result", natpmp::ResultText(natpmp_.Reply()->resultcode)}});
    else if (IsReservedAddress(PublicAddress(*natpmp_.Reply())))
        Tell(sentence::NatPmpReservedAddress,
             {{"gateway", ToString(gateway_)}, {"address", ToString(PublicAddress(*natpmp_.Reply()))}});
}

std::optional<Told> PortControlProbe::Headline() const
{
    if (natpmp_.Reply() && natpmp_.Reply()->resultcode == 0)
        return headline::BehindAnotherNat(PublicAddress(*natpmp_.Reply()));
    if (pcp_.Reply())
        return headline::PortControlRefused("PCP " + pcp::ResultText(pcp_.Reply()->result));
    if (natpmp_.Reply())
        return headline::PortControlRefused("NAT-PMP " + natpmp::ResultText(natpmp_.Reply()->resultcode));
    return std::nullopt;
}

} // namespace gateway
