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

std::string PcpProtocol::NonceText() const
{
    static const char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (const std::uint8_t byte : nonce_) {
        hex += kDigits[byte >> 4];
        hex += kDigits[byte & 0xF];
    }
    return hex;
}

bool PcpProtocol::UseNonce(const std::string& hex)
{
    if (hex.size() != nonce_.size() * 2) return false;
    pcp::Nonce nonce{};
    for (std::size_t i = 0; i < hex.size(); ++i) {
        const char c = hex[i];
        const int value = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
        if (value < 0) return false;
        nonce[i / 2] = static_cast<std::uint8_t>(nonce[i / 2] << 4 | value);
    }
    nonce_ = nonce;
    return true;
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
                     answer.lifetime, answer.externalAddress, answer.epoch};
}

} // namespace gateway
