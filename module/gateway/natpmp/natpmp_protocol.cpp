#include "gateway/natpmp/natpmp_protocol.h"
#include "gateway/sentences.h"

#include "tell.h"
#include "gateway/natpmp/natpmp_answer.h"
#include "gateway/natpmp/natpmp_exchange.h"

namespace gateway {

std::optional<PortGrant> NatPmpProtocol::Ask(const MappingRequest& request, std::uint32_t lifetime, Deadline deadline)
{
    const bool tcp = request.protocol == Protocol::Tcp;
    NatPmpExchange exchange(gateway_, tcp ? natpmp::kMapTcp : natpmp::kMapUdp, [&](natpmp_t* handle) {
        // A deletion names no external port.
        return sendnewportmappingrequest(handle, tcp ? NATPMP_PROTOCOL_TCP : NATPMP_PROTOCOL_UDP,
                                         static_cast<std::uint16_t>(request.internalPort),
                                         lifetime == 0 ? 0 : static_cast<std::uint16_t>(request.externalPort), lifetime);
    });
    Await({&exchange}, deadline);
    if (!exchange.Reply()) {
        Tell(sentence::NoAnswerThrough,
             {{"method", "NAT-PMP"},
              {"subject", std::string(Name(request.protocol)) + " " + std::to_string(request.externalPort)}});
        return std::nullopt;
    }
    const natpmpresp_t& answer = *exchange.Reply();
    const auto& mapping = answer.pnu.newportmapping;
    return PortGrant{answer.resultcode, natpmp::ResultText(answer.resultcode), mapping.privateport,
                     mapping.mappedpublicport, mapping.lifetime, external_, answer.epoch};
}

} // namespace gateway
