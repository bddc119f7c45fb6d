#include "gateway/pcp/pcp_exchange.h"

#include <netinet/in.h>
#include <sys/socket.h>

#include <array>
#include <cerrno>
#include <string_view>


namespace gateway {

PcpExchange::PcpExchange(UniqueFd socket, std::vector<std::uint8_t> request, Belongs belongs)
    : socket_(std::move(socket)), request_(std::move(request)), belongs_(std::move(belongs))
{
    Send();
}

bool PcpExchange::SendRequest()
{
    return send(socket_.get(), request_.data(), request_.size(), 0) >= 0 || errno == EINTR || errno == EAGAIN;
}

void PcpExchange::Read()
{
    std::array<char, 1104> datagram; // a word more than the longest PCP message
    for (int read = 0; read < kDatagramsPerStep && state_ == State::Waiting; ++read) {
        const ssize_t size = recv(socket_.get(), datagram.data(), datagram.size(), MSG_DONTWAIT);
        if (size < 0) {
            // Refused or unreachable: no PCP server will answer.
            if (errno != EAGAIN && errno != EINTR) state_ = State::Closed;
            return;
        }
        const std::string_view bytes(datagram.data(), static_cast<std::size_t>(size));
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

} // namespace gateway
