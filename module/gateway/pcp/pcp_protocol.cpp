#include "gateway/pcp/pcp_protocol.h"

#include <sys/random.h>

#include <cerrno>

#include "diagnostics.h"
#include "gateway/pcp/pcp_exchange.h"

namespace gateway {

PcpProtocol::PcpProtocol(Ipv4 gatewayAddress) : gateway_(gatewayAddress), nonce_{}
{
    std::size_t filled = 0;
    while (filled < nonce_.size()) {
        const ssize_t got = getrandom(nonce_.data() + filled, nonce_.size() - filled, 0);
        if (got < 0 && errno != EINTR) break; // no such call: the connected socket still keeps others out
        if (got > 0) filled += static_cast<std::size_t>(got);
    }
}

std::optional<PortGrant> PcpProtocol::Ask(const MappingRequest& request, std::uint32_t lifetime, Deadline deadline)
{
    const auto client = ParseIpv4(request.internalClient);
    UniqueFd socket = ConnectToPortControl(gateway_, client);
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
