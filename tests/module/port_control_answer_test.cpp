// PCP and NAT-PMP answers, as captured from the lab's gateway (miniupnpd) and bent:
// what the PCP parser reads from them, and which ones libnatpmp is let read.
#include <gtest/gtest.h>

#include "platform/linux/gateway/natpmp_answer.h"
#include "platform/linux/gateway/pcp_message.h"

namespace {

namespace natpmp = gateway::natpmp;
using gateway::Ipv4;
namespace pcp = gateway::pcp;

std::string Bytes(const std::string& hex)
{
    std::string bytes;
    for (std::size_t at = 0; at + 1 < hex.size(); at += 2) bytes += static_cast<char>(std::stoi(hex.substr(at, 2), nullptr, 16));
    return bytes;
}

const std::string kNonce = "86589caeaab7d1a5c68d5c84";
const std::string kMapped = "00000000000000000000ffff0b4d0001"; // ::ffff:11.77.0.1
const std::string kPcpHeader = "0281000000015180000000070000000000000000000000"; // MAP, SUCCESS, 86400 s
const std::string kPcpMapAnswer = kPcpHeader + "00" + kNonce + "060000001fa41fa4" + kMapped;

pcp::MapRequest Request()
{
    pcp::MapRequest request{*gateway::ParseIpv4("10.77.0.2"), {}, pcp::kProtocolTcp, 8100, 8100, 604800};
    const std::string nonce = Bytes(kNonce);
    std::copy(nonce.begin(), nonce.end(), request.nonce.begin());
    return request;
}

// What our PCP client makes of a datagram, in one line.
std::string ReadAsPcp(const std::string& datagram)
{
    if (pcp::SaysVersionUnsupported(datagram)) return "no PCP there";
    const auto answer = pcp::ParseAnswer(datagram);
    if (!answer) return "dropped";
    if (answer->opcode != pcp::kMap) return "opcode " + std::to_string(answer->opcode) + ", result " + std::to_string(answer->result);
    return std::string(pcp::Answers(*answer, Request()) ? "ours" : "not ours") + ", result " +
           std::to_string(answer->result) + ", " + std::to_string(answer->lifetime) + " s, " +
           std::to_string(answer->internalPort) + " as " + std::to_string(answer->externalPort) + " on " +
           (answer->externalAddress ? gateway::ToString(*answer->externalAddress) : "IPv6");
}

// The NAT-PMP requests a datagram may be read as an answer to.
std::string ReadAsNatPmp(const std::string& datagram)
{
    std::string fits;
    for (const auto& [opcode, name] : {std::pair{natpmp::kPublicAddress, "address"}, {natpmp::kMapUdp, "UDP"}, {natpmp::kMapTcp, "TCP"}})
        if (natpmp::IsAnswerTo(opcode, datagram)) fits += fits.empty() ? name : std::string(" ") + name;
    return fits.empty() ? "none" : fits;
}

} // namespace

TEST(PortControlAnswers, ReadOnlyWholeAnswersToOurRequest)
{
    const struct {
        const char* name;
        std::string hex;
        const char* asPcp;
        const char* asNatPmp;
    } cases[] = {
        {"PCP MAP granted", kPcpMapAnswer, "ours, result 0, 86400 s, 8100 as 8100 on 11.77.0.1", "none"},
        {"PCP MAP granted on another port", kPcpHeader + "00" + kNonce + "060000001fa41fa5" + kMapped,
         "ours, result 0, 86400 s, 8100 as 8101 on 11.77.0.1", "none"},
        {"PCP MAP behind carrier-grade NAT: NO_RESOURCES",
         "028100080000001e000000000000000000000000000000002a28e22f55d68cc72bd681cf060000001fa41fa4"
         "00000000000000000000ffff64400001", "not ours, result 8, 30 s, 8100 as 8100 on 100.64.0.1", "none"},
        {"PCP MAP, another nonce", kPcpHeader + "00" + "2a28e22f55d68cc72bd681cf" + "060000001fa41fa4" + kMapped,
         "not ours, result 0, 86400 s, 8100 as 8100 on 11.77.0.1", "none"},
        {"PCP MAP for UDP", kPcpHeader + "00" + kNonce + "110000001fa41fa4" + kMapped,
         "not ours, result 0, 86400 s, 8100 as 8100 on 11.77.0.1", "none"},
        {"PCP MAP, another internal port", kPcpHeader + "00" + kNonce + "060000001fa51fa4" + kMapped,
         "not ours, result 0, 86400 s, 8101 as 8100 on 11.77.0.1", "none"},
        {"PCP MAP on an IPv6 address", kPcpHeader + "00" + kNonce + "060000001fa41fa4" + "20010db8000000000000000000000001",
         "ours, result 0, 86400 s, 8100 as 8100 on IPv6", "none"},
        {"PCP MAP with an option after it", kPcpMapAnswer + "8000000400000000", "ours, result 0, 86400 s, 8100 as 8100 on 11.77.0.1", "none"},
        {"PCP MAP cut short", kPcpMapAnswer.substr(0, 112), "dropped", "none"},
        {"PCP MAP, length not in words", kPcpMapAnswer + "00", "dropped", "none"},
        {"PCP MAP over 1100 bytes", kPcpMapAnswer + std::string(2 * 1044, '0'), "dropped", "none"},
        {"PCP request, not an answer", "0201" + kPcpMapAnswer.substr(4), "dropped", "none"},
        {"PCP version 3", "03" + kPcpMapAnswer.substr(2), "dropped", "none"},
        {"PCP ANNOUNCE answered", "028000000000000000000007000000000000000000000000", "opcode 0, result 0", "none"},
        {"PCP header alone", "02800000000000000000000700000000000000000000", "dropped", "none"},
        {"NAT-PMP public address", "00800000000000070b4d0001", "dropped", "address"},
        {"NAT-PMP public address behind carrier-grade NAT: 3", "008000030000000000000000", "dropped", "address"},
        {"NAT-PMP TCP mapping", "00820000000000071fa51fa500093a80", "dropped", "TCP"},
        {"NAT-PMP UDP mapping", "00810000000000071fa51fa500093a80", "dropped", "UDP"},
        {"NAT-PMP mapping refused, result only", "0082000200000007", "dropped", "TCP"},
        {"NAT-PMP unsupported version (answering PCP)", "0080000100000007", "no PCP there", "address"},
        {"NAT-PMP mapping cut short", "00820000000000071fa51fa5", "dropped", "none"},
        {"NAT-PMP mapping, a byte more", "00820000000000071fa51fa500093a8000", "dropped", "none"},
        {"NAT-PMP address, a byte short", "00800000000000070b4d00", "dropped", "none"},
        {"NAT-PMP request echoed", "00020000000000071fa51fa500093a80", "dropped", "none"},
        {"NAT-PMP version 1", "01820000000000071fa51fa500093a80", "dropped", "none"},
        {"empty", "", "dropped", "none"},
    };
    for (const auto& c : cases) {
        const std::string datagram = Bytes(c.hex);
        EXPECT_EQ(ReadAsPcp(datagram), c.asPcp) << c.name;
        EXPECT_EQ(ReadAsNatPmp(datagram), c.asNatPmp) << c.name;
    }
}

// The request the lab's gateway granted, byte for byte.
TEST(PortControlAnswers, MapRequestAsTheGatewayTookIt)
{
    const auto request = pcp::EncodeMap(Request());
    EXPECT_EQ(std::string(request.begin(), request.end()),
              Bytes("0201000000093a8000000000000000000000ffff0a4d0002" + kNonce + "060000001fa41fa4" +
                    "00000000000000000000ffff00000000"));
}
