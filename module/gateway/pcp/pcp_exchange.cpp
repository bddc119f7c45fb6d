#include "gateway/pcp/pcp_exchange.h"

#include <array>
#include <string_view>

namespace gateway {

PcpExchange::PcpExchange(host::UniqueSocket socket, std::vector<std::uint8_t> request, Belongs belongs)
    : socket_(std::move(socket)), request_(std::move(request)), belongs_(std::move(belongs))
{
    Send();
}

bool PcpExchange::SendRequest()
{
    const host::Io sent = host::Send(socket_.get(), request_.data(), request_.size());
    return sent == host::Io::Done || sent == host::Io::Later;
}

void PcpExchange::Read()
{
    std::array<char, 1104> datagram; // a word more than the longest PCP message
    for (int read = 0; read < kDatagramsPerStep && state_ == State::Waiting; ++read) {
        const host::Received received = host::Receive(socket_.get(), datagram.data(), datagram.size());
        if (received.io != host::Io::Done) {
            // Refused or unreachable: no PCP server will answer.
            if (received.io != host::Io::Later) state_ = State::Closed;
            return;
        }
        const std::string_view bytes(datagram.data(), received.size);
        if (pcp::SaysVersionUnsupported(bytes)) {
            state_ = State::Closed;
            return;
        }
        const auto answer = pcp::ParseAnswer(bytes);
        if (answer && belongs_(*answer)) {
            reply_ = answer;
            state_ = State::Answered;
        }
    }
}

std::optional<pcp::Answer> AskMap(host::UniqueSocket socket, const pcp::MapRequest& map, Deadline deadline)
{
    PcpExchange exchange(std::move(socket), pcp::EncodeMap(map),
                         [&map](const pcp::Answer& answer) { return pcp::Answers(answer, map); });
    Await({&exchange}, deadline);
    return exchange.Reply();
}

} // namespace gateway
