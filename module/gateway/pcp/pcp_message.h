// PCP (RFC 6887) messages of the MAP client: the requests we send, encoded, and the
// answers we take, parsed without side effects from any bytes a host may send.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "gateway/ipv4_address.h"
#include "gateway/ipv6_address.h"

namespace gateway::pcp {

constexpr std::uint8_t kVersion = 2;
constexpr std::uint8_t kAnnounce = 0;
constexpr std::uint8_t kMap = 1;
constexpr std::uint8_t kProtocolTcp = 6;
constexpr std::uint8_t kProtocolUdp = 17;

// Result codes this client acts on.
constexpr std::uint8_t kSuccess = 0;
constexpr std::uint8_t kUnsupportedVersion = 1;
constexpr std::uint8_t kNotAuthorized = 2;

using Nonce = std::array<std::uint8_t, 12>;

// PCP carries IPv4 addresses as IPv4-mapped IPv6 (::ffff:a.b.c.d).
Ipv6 Mapped(Ipv4 address);
// The IPv4 address an IPv4-mapped one carries; nothing for a true IPv6 address.
std::optional<Ipv4> Unmapped(const Ipv6& address);

// "86589caeaab7d1a5c68d5c84", as the record keeps a nonce; nothing for other text.
std::string NonceText(const Nonce& nonce);
std::optional<Nonce> NonceFrom(std::string_view hex);

struct MapRequest {
    Ipv6 client; // Mapped() for IPv4; the address the mapping is for, and the request's source
    Nonce nonce{};
    std::uint8_t protocol = kProtocolTcp;
    std::uint16_t internalPort = 0;
    std::uint16_t suggestedExternalPort = 0;
    std::uint32_t lifetime = 0; // 0 deletes the mapping
};

struct Answer {
    std::uint8_t opcode = 0; // without the response bit
    std::uint8_t result = 0;
    std::uint32_t lifetime = 0;
    std::uint32_t epoch = 0; // the server's seconds since it last lost its mappings
    // MAP answers only.
    Nonce nonce{};
    std::uint8_t protocol = 0;
    std::uint16_t internalPort = 0;
    std::uint16_t externalPort = 0;
    Ipv6 externalAddress; // Mapped() for IPv4
};

std::vector<std::uint8_t> EncodeAnnounce(Ipv4 client);
std::vector<std::uint8_t> EncodeMap(const MapRequest& request);

// A PCP answer: version 2, the response bit, 24 to 1100 bytes in whole words, and the
// MAP fields for a MAP answer; nothing for anything else.
std::optional<Answer> ParseAnswer(std::string_view datagram);

// A server of an older protocol (NAT-PMP) answering a PCP request: it has no PCP.
bool SaysVersionUnsupported(std::string_view datagram);

// Whether a MAP answer is the one to `request`: same nonce, protocol and internal port.
bool Answers(const Answer& answer, const MapRequest& request);

// Whether the server's epoch, `serverNow` when the client's clock read `clientNow`,
// shows it lost its mappings since it said `serverThen` at `clientThen`: it went back,
// or ran apart from the client's clock by more than a sixteenth and 2 s (RFC 6887 8.5).
bool EpochShowsLostState(std::uint32_t serverThen, long long clientThen, std::uint32_t serverNow, long long clientNow);

// "8 NO_RESOURCES", "2 NOT_AUTHORIZED", ...
std::string ResultText(std::uint8_t result);

} // namespace gateway::pcp
