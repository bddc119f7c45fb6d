// A pinhole in the IPv6 gateway's firewall through PCP: a MAP over IPv6 for this
// machine's global address, sent from that address to the gateway's port 5351.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "gateway/exchange.h"
#include "gateway/pcp/pcp_message.h"
#include "gateway/pinhole_route.h"
#include "platform/deadline.h"
#include "terms.h"

namespace gateway {

// How long the first request waits for the gateway's answer: a LAN's round trip and the
// time to add a rule, so that a gateway without PCP over IPv6 costs a forward little.
inline constexpr std::chrono::milliseconds kPcpOverIpv6Wait{90};
// The same for a gateway that answered PCP over IPv4 in this run: it speaks the protocol,
// and a busy one may take longer than a round trip. Still short of the first resend,
// which some gateways take for a renewal, after which they refuse to take the pinhole
// back when no answer came in time.
inline constexpr std::chrono::milliseconds kPcpSpeakerWait{240};
static_assert(kPcpSpeakerWait < kFirstResend);

struct PcpPinhole {
    PinholeRoute route;      // the interface's IPv6 default gateway: no other device is asked
    pcp::Nonce nonce{};      // the same for renewing and closing
    Protocol protocol = Protocol::Tcp;
    int port = 0;            // the internal port, and the external one suggested
};

// The gateway's answer to the MAP of `pinhole` for `lifetime` seconds (0 closes it), from
// its port 5351, with our nonce, protocol and port; nothing when none came by `deadline`.
std::optional<pcp::Answer> MapPinhole(const PcpPinhole& pinhole, std::uint32_t lifetime, Deadline deadline);

} // namespace gateway
