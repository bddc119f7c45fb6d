// A NAT-PMP request to the default gateway through libnatpmp, and its answer. The
// library's own retry schedule runs for 128 s and reads whatever datagram comes; here
// we resend on our schedule, within our deadline, and the library reads only answers
// we have checked.
#pragma once

#include <natpmp.h>

#include <cstdint>
#include <functional>
#include <optional>

#include "gateway/exchange.h"
#include "gateway/ipv4_address.h"

namespace gateway {

class NatPmpExchange final : public Exchange {
public:
    // Sends the request that `send` makes on the library's handle, opcode
    // `requestOpcode`, to `gatewayAddress`'s port 5351; the handle's socket is
    // connected there, so only the gateway's datagrams arrive.
    NatPmpExchange(Ipv4 gatewayAddress, std::uint8_t requestOpcode, const std::function<int(natpmp_t*)>& send);
    ~NatPmpExchange() override;
    NatPmpExchange(const NatPmpExchange&) = delete;
    NatPmpExchange& operator=(const NatPmpExchange&) = delete;

    host::SocketHandle Socket() const override { return static_cast<host::SocketHandle>(handle_.s); }

    // Set once the state is Answered: the gateway's result code and the library's reading.
    const std::optional<natpmpresp_t>& Reply() const { return reply_; }

private:
    bool SendRequest() override;
    void Read() override;
    bool NextDatagramFits();

    natpmp_t handle_{};
    bool open_ = false;
    std::function<int(natpmp_t*)> send_;
    std::uint8_t requestOpcode_;
    std::optional<natpmpresp_t> reply_;
};

} // namespace gateway
