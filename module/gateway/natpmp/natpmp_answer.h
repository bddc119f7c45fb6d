// Which NAT-PMP (RFC 6886) datagrams libnatpmp may read. The library reads any
// datagram from the gateway into a 16-byte buffer and takes every field from it, of a
// datagram of any length and any opcode; we let through only a whole answer to the
// request we sent.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace gateway::natpmp {

constexpr std::uint8_t kPublicAddress = 0;
constexpr std::uint8_t kMapUdp = 1;
constexpr std::uint8_t kMapTcp = 2;

// Enough bytes to tell a whole answer from a longer datagram.
constexpr std::size_t kLongestAnswer = 16;

// Version 0, the answer's opcode to `requestOpcode`, and its exact length: 12 bytes
// for the public address, 16 for a mapping; an error answer needs only its result code.
bool IsAnswerTo(std::uint8_t requestOpcode, std::string_view datagram);

// "2 Not Authorized/Refused", "3 Network Failure", ...
std::string ResultText(std::uint16_t result);

} // namespace gateway::natpmp
