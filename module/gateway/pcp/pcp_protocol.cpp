#include "gateway/pcp/pcp_protocol.h"
#include "gateway/sentences.h"

#include "tell.h"
#include "gateway/host/random.h"
#include "gateway/pcp/pcp_exchange.h"

namespace gateway {

PcpProtocol::PcpProtocol(Ipv4 gatewayAddress) : gateway_(gatewayAddress), nonce_{}
{
    // Without one, the connected socket still keeps others' answers out.
    host::FillRandom(nonce_.data(), nonce_.size());
}

std::string PcpProtocol::NonceText() const { return pcp::NonceText(nonce_); }

bool PcpProtocol::UseNonce(const std::string& hex)
{
    const auto nonce = pcp::NonceFrom(hex);
    if (nonce) nonce_ = *nonce;
    return nonce.has_value();
}

std::optional<PortGrant> PcpProtocol::Ask(const MappingRequest& request, std::uint32_t lifetime, Deadline deadline)
{
    const auto client = ParseIpv4(request.internalClient);
    host::UniqueSocket socket = ConnectToPortControl(gateway_, client);
    if (!socket) return std::nullopt;
    const pcp::MapRequest map{pcp::Mapped(*client),
                              nonce_,
                              static_cast<std::uint8_t>(IpNumber(request.protocol)),
                              static_cast<std::uint16_t>(request.internalPort),
                              static_cast<std::uint16_t>(request.externalPort),
                              lifetime};
    const auto answer = AskMap(std::move(socket), map, deadline);
    if (!answer) {
        Tell(sentence::NoAnswerThrough,
             {{"method", "PCP"},
              {"subject", std::string(Name(request.protocol)) + " " + std::to_string(request.externalPort)}});
        return std::nullopt;
    }
    return PortGrant{answer->result, pcp::ResultText(answer->result), answer->internalPort, answer->externalPort,
                     answer->lifetime, pcp::Unmapped(answer->externalAddress), answer->epoch};
}

} // namespace gateway
