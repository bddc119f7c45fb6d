#include "gateway/port_control_probe.h"

#include "tell.h"
#include "gateway/gateway_verdict.h"
#include "gateway/natpmp/natpmp_answer.h"
#include "gateway/natpmp/natpmp_protocol.h"
#include "gateway/pcp/pcp_protocol.h"
#include "gateway/reserved_address.h"
#include "gateway/router_headlines.h"

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
        UserLine("The gateway " + ToString(gateway_) + " answered (PCP).");
        return std::make_unique<PortControlGateway>(gateway_, std::make_unique<PcpProtocol>(gateway_));
    }
    if (NatPmpAnswered()) {
        const Ipv4 external = PublicAddress(*natpmp_.Reply());
        UserLine("The gateway " + ToString(gateway_) + " answered (NAT-PMP); its external address is " +
                 ToString(external) + ".");
        UserLine("NAT-PMP answers carry no nonce, so this answer cannot be verified: another device on the LAN could "
                 "have sent it in the gateway's name.");
        return std::make_unique<PortControlGateway>(gateway_, std::make_unique<NatPmpProtocol>(gateway_, external));
    }
    return nullptr;
}

void PortControlProbe::ReportRefusals() const
{
    if (pcp_.Reply() && pcp_.Reply()->result != pcp::kSuccess)
        UserLine("The gateway " + ToString(gateway_) + " refused PCP: " + pcp::ResultText(pcp_.Reply()->result) + ".");
    if (!natpmp_.Reply()) return;
    if (natpmp_.Reply()->resultcode != 0)
        UserLine("The gateway " + ToString(gateway_) + " refused NAT-PMP: " +
                   natpmp::ResultText(natpmp_.Reply()->resultcode) + ".");
    else if (IsReservedAddress(PublicAddress(*natpmp_.Reply())))
        UserLine("The gateway " + ToString(gateway_) + " has the reserved external address " +
                   ToString(PublicAddress(*natpmp_.Reply())) +
                   " through NAT-PMP (carrier-grade NAT or another router): the Internet cannot reach its ports.");
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
