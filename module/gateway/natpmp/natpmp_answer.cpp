#include "gateway/natpmp/natpmp_answer.h"

namespace gateway::natpmp {
namespace {

constexpr std::uint8_t kResponseBit = 0x80;
constexpr std::size_t kErrorAnswer = 8; // version, opcode, result code, epoch

std::uint8_t Byte(std::string_view data, std::size_t at) { return static_cast<std::uint8_t>(data[at]); }

} // namespace

bool IsAnswerTo(std::uint8_t requestOpcode, std::string_view datagram)
{
    if (datagram.size() < kErrorAnswer || Byte(datagram, 0) != 0 || Byte(datagram, 1) != (kResponseBit | requestOpcode))
        return false;
    const bool error = Byte(datagram, 2) != 0 || Byte(datagram, 3) != 0;
    if (error) return datagram.size() <= kLongestAnswer;
    return datagram.size() == (requestOpcode == kPublicAddress ? 12u : 16u);
}

std::string ResultText(std::uint16_t result)
{
    static constexpr const char* kNames[] = {"Success", "Unsupported Version", "Not Authorized/Refused",
                                             "Network Failure", "Out of resources", "Unsupported opcode"};
    const std::string name = result < std::size(kNames) ? kNames[result] : "unknown result";
    return std::to_string(result) + " " + name;
}

} // namespace gateway::natpmp
