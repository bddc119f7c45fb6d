// A PCP request to the default gateway and the one answer that belongs to it.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "gateway/exchange.h"
#include "gateway/ipv4_address.h"
#include "gateway/pcp/pcp_message.h"

namespace gateway {

class PcpExchange final : public Exchange {
public:
    using Belongs = std::function<bool(const pcp::Answer&)>;

    // Sends `request` at once from `socket` (connected to the gateway's port 5351, so
    // only its datagrams arrive); an answer counts when `belongs` says it is ours.
    PcpExchange(host::UniqueSocket socket, std::vector<std::uint8_t> request, Belongs belongs);

    host::SocketHandle Socket() const override { return socket_.get(); }

    // Set once the state is Answered.
    const std::optional<pcp::Answer>& Reply() const { return reply_; }

private:
    bool SendRequest() override;
    void Read() override;

    host::UniqueSocket socket_;
    std::vector<std::uint8_t> request_;
    Belongs belongs_;
    std::optional<pcp::Answer> reply_;
};

// MAP's answer through `socket` (connected to the server's port 5351): the one with the
// request's nonce, protocol and port; nothing when none came by the deadline.
std::optional<pcp::Answer> AskMap(host::UniqueSocket socket, const pcp::MapRequest& map, Deadline deadline);

} // namespace gateway
