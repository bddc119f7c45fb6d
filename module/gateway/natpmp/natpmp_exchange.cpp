#include "gateway/natpmp/natpmp_exchange.h"
#include "gateway/sentences.h"

#include <array>
#include <string_view>

#include "tell.h"
#include "gateway/natpmp/natpmp_answer.h"

namespace gateway {

NatPmpExchange::NatPmpExchange(Ipv4 gatewayAddress, std::uint8_t requestOpcode,
                               const std::function<int(natpmp_t*)>& send)
    : send_(send), requestOpcode_(requestOpcode)
{
    handle_.s = -1;
    // The library connects its socket without binding it, so the kernel draws a random
    // source port for each exchange: a forger must guess it, as NAT-PMP has no nonce.
    if (initnatpmp(&handle_, 1, htonl(gatewayAddress.value)) != 0) {
        // The library leaves its socket open when it fails after making it.
        if (handle_.s >= 0) host::CloseSocket(Socket());
        Tell(sentence::NatPmpNotSetUp, {{"gateway", ToString(gatewayAddress)}});
        state_ = State::Closed;
        return;
    }
    open_ = true;
    Send();
}

NatPmpExchange::~NatPmpExchange()
{
    if (open_) closenatpmp(&handle_);
}

// Each send starts the library's schedule anew; it never gets to resend by itself,
// since it is only asked to read an answer that is already there.
bool NatPmpExchange::SendRequest() { return send_(&handle_) >= 0; }

// Drops, unread by the library, every waiting datagram that is not a whole answer to
// our request; true when one that is waits at the head.
bool NatPmpExchange::NextDatagramFits()
{
    std::array<char, natpmp::kLongestAnswer + 1> next;
    for (int read = 0; read < kDatagramsPerStep; ++read) {
        const host::Received head = host::Peek(Socket(), next.data(), next.size());
        if (head.io != host::Io::Done) {
            if (head.io != host::Io::Later) state_ = State::Closed; // refused: no NAT-PMP there
            return false;
        }
        const std::size_t length = head.size;
        if (length <= natpmp::kLongestAnswer && natpmp::IsAnswerTo(requestOpcode_, std::string_view(next.data(), length)))
            return true;
        host::Receive(Socket(), next.data(), next.size());
    }
    return false;
}

void NatPmpExchange::Read()
{
    if (!NextDatagramFits()) return;
    natpmpresp_t response{};
    const int read = readnatpmpresponseorretry(&handle_, &response);
    if (read == NATPMP_TRYAGAIN) return;
    // Success, or the gateway's refusal with its result code.
    reply_ = response;
    state_ = State::Answered;
}

} // namespace gateway
