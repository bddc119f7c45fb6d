#include "gateway/pcp/pcp_protocol.h"

#include "diagnostics.h"
#include "gateway/host/random.h"
#include "gateway/pcp/pcp_exchange.h"

namespace gateway {

PcpProtocol::PcpProtocol(Ipv4 gatewayAddress) : gateway_(gatewayAddress), nonce_{}
{
    // Without one, the connected socket still keeps others' answers out.
    host::FillRandom(nonce_.data(), nonce_.size());
}

std::optional<PortGrant> PcpProtocol::Ask(const MappingRequest& request, std::uint32_t lifetime, Deadline deadline)
{
    const auto client = ParseIpv4(request.internalClient);
    host::UniqueSocket socket = ConnectToPortControl(gateway_, client);
    if (!socket) return std::nullopt;
    pcp::MapRequest map{*client,
                        nonce_,
                        request.protocol == "TCP" ? pcp::kProtocolTcp : pcp::kProtocolUdp,
                        static_cast<std::uint16_t>(request.internalPort),
                        static_cast<std::uint16_t>(request.externalPort),
                        lifetime};
    PcpExchange exchange(std::move(socket), pcp::EncodeMap(map),
                         [&map](const pcp::Answer& answer) { return pcp::Answers(answer, map); });
    Await({&exchange}, deadline);
    if (!exchange.Reply()) {
        UserLine("The gateway did not answer PCP's request for " + request.protocol + " " +
                   std::to_string(request.externalPort) + " in time.");
        return std::nullopt;
    }
    const pcp::Answer& answer = *exchange.Reply();
    return PortGrant{answer.result, pcp::ResultText(answer.result), answer.internalPort, answer.externalPort,
                     answer.lifetime, answer.externalAddress};
}

} // namespace gateway
