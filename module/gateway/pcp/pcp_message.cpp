#include "gateway/pcp/pcp_message.h"

#include <algorithm>

namespace gateway::pcp {
namespace {

constexpr std::size_t kHeaderSize = 24;
constexpr std::size_t kMapSize = 36;
constexpr std::size_t kMaxMessage = 1100;
constexpr std::uint8_t kResponseBit = 0x80;

void Put16(std::vector<std::uint8_t>& out, std::uint16_t value)
{
    out.push_back(static_cast<std::uint8_t>(value >> 8));
    out.push_back(static_cast<std::uint8_t>(value));
}

void Put32(std::vector<std::uint8_t>& out, std::uint32_t value)
{
    Put16(out, static_cast<std::uint16_t>(value >> 16));
    Put16(out, static_cast<std::uint16_t>(value));
}

void PutAddress(std::vector<std::uint8_t>& out, const Ipv6& address)
{
    out.insert(out.end(), address.bytes.begin(), address.bytes.end());
}

std::vector<std::uint8_t> Header(std::uint8_t opcode, std::uint32_t lifetime, const Ipv6& client)
{
    std::vector<std::uint8_t> out{kVersion, opcode, 0, 0};
    Put32(out, lifetime);
    PutAddress(out, client);
    return out;
}

std::uint8_t Byte(std::string_view data, std::size_t at) { return static_cast<std::uint8_t>(data[at]); }
std::uint16_t Get16(std::string_view data, std::size_t at)
{
    return static_cast<std::uint16_t>(Byte(data, at) << 8 | Byte(data, at + 1));
}
std::uint32_t Get32(std::string_view data, std::size_t at)
{
    return static_cast<std::uint32_t>(Get16(data, at)) << 16 | Get16(data, at + 2);
}

Ipv6 GetAddress(std::string_view data, std::size_t at)
{
    Ipv6 address;
    std::copy_n(data.begin() + at, address.bytes.size(), address.bytes.begin());
    return address;
}

} // namespace

Ipv6 Mapped(Ipv4 address)
{
    Ipv6 mapped;
    mapped.bytes[10] = mapped.bytes[11] = 0xFF;
    for (int i = 0; i < 4; ++i) mapped.bytes[12 + i] = static_cast<std::uint8_t>(address.value >> (24 - 8 * i));
    return mapped;
}

std::optional<Ipv4> Unmapped(const Ipv6& address)
{
    const auto& b = address.bytes;
    if (!std::all_of(b.begin(), b.begin() + 10, [](std::uint8_t byte) { return byte == 0; }) || b[10] != 0xFF ||
        b[11] != 0xFF)
        return std::nullopt;
    return Ipv4{static_cast<std::uint32_t>(b[12]) << 24 | b[13] << 16 | b[14] << 8 | b[15]};
}

std::string NonceText(const Nonce& nonce)
{
    static const char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (const std::uint8_t byte : nonce) {
        hex += kDigits[byte >> 4];
        hex += kDigits[byte & 0xF];
    }
    return hex;
}

std::optional<Nonce> NonceFrom(std::string_view hex)
{
    Nonce nonce{};
    if (hex.size() != nonce.size() * 2) return std::nullopt;
    for (std::size_t i = 0; i < hex.size(); ++i) {
        const char c = hex[i];
        const int value = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
        if (value < 0) return std::nullopt;
        nonce[i / 2] = static_cast<std::uint8_t>(nonce[i / 2] << 4 | value);
    }
    return nonce;
}

std::vector<std::uint8_t> EncodeAnnounce(Ipv4 client) { return Header(kAnnounce, 0, Mapped(client)); }

std::vector<std::uint8_t> EncodeMap(const MapRequest& request)
{
    std::vector<std::uint8_t> out = Header(kMap, request.lifetime, request.client);
    out.insert(out.end(), request.nonce.begin(), request.nonce.end());
    out.push_back(request.protocol);
    out.insert(out.end(), 3, 0);
    Put16(out, request.internalPort);
    Put16(out, request.suggestedExternalPort);
    // No preference for the external address, but its family: the client's.
    PutAddress(out, Unmapped(request.client) ? Mapped(Ipv4{0}) : Ipv6{});
    return out;
}

std::optional<Answer> ParseAnswer(std::string_view datagram)
{
    if (datagram.size() < kHeaderSize || datagram.size() > kMaxMessage || datagram.size() % 4 != 0) return std::nullopt;
    if (Byte(datagram, 0) != kVersion || (Byte(datagram, 1) & kResponseBit) == 0) return std::nullopt;
    Answer answer;
    answer.opcode = Byte(datagram, 1) & ~kResponseBit;
    answer.result = Byte(datagram, 3);
    answer.lifetime = Get32(datagram, 4);
    answer.epoch = Get32(datagram, 8);
    if (answer.opcode != kMap) return answer;
    if (datagram.size() < kHeaderSize + kMapSize) return std::nullopt;
    const std::size_t map = kHeaderSize;
    std::copy_n(datagram.begin() + map, answer.nonce.size(), answer.nonce.begin());
    answer.protocol = Byte(datagram, map + 12);
    answer.internalPort = Get16(datagram, map + 16);
    answer.externalPort = Get16(datagram, map + 18);
    answer.externalAddress = GetAddress(datagram, map + 20);
    return answer;
}

bool EpochShowsLostState(std::uint32_t serverThen, long long clientThen, std::uint32_t serverNow, long long clientNow)
{
    if (serverNow < serverThen) return true;
    const long long server = static_cast<long long>(serverNow) - serverThen;
    const long long client = clientNow - clientThen;
    return client + 2 < server - server / 16 || server + 2 < client - client / 16;
}

bool SaysVersionUnsupported(std::string_view datagram)
{
    // NAT-PMP's header: version 0, opcode, result code 1 (unsupported version) in 16 bits.
    return datagram.size() >= 4 && Byte(datagram, 0) < kVersion && Get16(datagram, 2) == kUnsupportedVersion;
}

bool Answers(const Answer& answer, const MapRequest& request)
{
    return answer.opcode == kMap && answer.nonce == request.nonce && answer.protocol == request.protocol &&
           answer.internalPort == request.internalPort;
}

std::string ResultText(std::uint8_t result)
{
    static constexpr const char* kNames[] = {
        "SUCCESS",         "UNSUPP_VERSION",  "NOT_AUTHORIZED",         "MALFORMED_REQUEST", "UNSUPP_OPCODE",
        "UNSUPP_OPTION",   "MALFORMED_OPTION", "NETWORK_FAILURE",       "NO_RESOURCES",      "UNSUPP_PROTOCOL",
        "USER_EX_QUOTA",   "CANNOT_PROVIDE_EXTERNAL", "ADDRESS_MISMATCH", "EXCESSIVE_REMOTE_PEERS"};
    const std::string name = result < std::size(kNames) ? kNames[result] : "unknown result";
    return std::to_string(result) + " " + name;
}

} // namespace gateway::pcp
