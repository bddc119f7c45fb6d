// A datagram from the gateway's port 5351, which a gateway of any make may send: read
// as a PCP answer by our parser, and as a NAT-PMP answer by our check and then by
// libnatpmp itself, over loopback, as the module lets it.
#include <arpa/inet.h>
#include <natpmp.h>
#include <sys/socket.h>
#include <sys/time.h>

#include <cstring>

#include "fuzz_check.h"
#include "gateway/natpmp/natpmp_answer.h"
#include "gateway/pcp/pcp_message.h"

namespace {

using namespace gateway;

std::uint16_t Get16(std::string_view data, std::size_t at) { return std::uint16_t(std::uint8_t(data[at]) << 8 | std::uint8_t(data[at + 1])); }

void CheckPcp(std::string_view datagram)
{
    const auto answer = pcp::ParseAnswer(datagram);
    if (!answer) return;
    FUZZ_REQUIRE(datagram.size() >= 24 && datagram.size() <= 1100 && datagram.size() % 4 == 0);
    FUZZ_REQUIRE(datagram[0] == 2 && (std::uint8_t(datagram[1]) & 0x80) != 0);
    if (answer->opcode != pcp::kMap) return;
    FUZZ_REQUIRE(datagram.size() >= 60 && answer->internalPort == Get16(datagram, 40) && answer->externalPort == Get16(datagram, 42));
    // Ours only with our nonce, protocol and internal port.
    pcp::MapRequest request;
    request.protocol = answer->protocol;
    request.internalPort = answer->internalPort;
    std::memcpy(request.nonce.data(), datagram.data() + 24, request.nonce.size());
    FUZZ_REQUIRE(pcp::Answers(*answer, request));
    request.nonce[0] ^= 1;
    FUZZ_REQUIRE(!pcp::Answers(*answer, request));
}

void CheckNatPmp(std::string_view datagram)
{
    // A loopback socket standing in for the gateway, and libnatpmp's handle bound beside it.
    static const int gateway = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    static natpmp_t handle{};
    static sockaddr_in client{};
    if (handle.s == 0) {
        handle.s = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        handle.gateway = client.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        client.sin_family = AF_INET;
        socklen_t length = sizeof client;
        FUZZ_REQUIRE(bind(handle.s, reinterpret_cast<sockaddr*>(&client), sizeof client) == 0 &&
                     getsockname(handle.s, reinterpret_cast<sockaddr*>(&client), &length) == 0);
    }
    for (const std::uint8_t opcode : {natpmp::kPublicAddress, natpmp::kMapUdp, natpmp::kMapTcp}) {
        if (!natpmp::IsAnswerTo(opcode, datagram)) continue;
        FUZZ_REQUIRE(datagram.size() >= 8 && datagram.size() <= natpmp::kLongestAnswer);
        FUZZ_REQUIRE(sendto(gateway, datagram.data(), datagram.size(), 0, reinterpret_cast<const sockaddr*>(&client), sizeof client) ==
                     ssize_t(datagram.size()));
        // As after a request: one pending, its resend an hour away.
        handle.has_pending_request = 1;
        gettimeofday(&handle.retry_time, nullptr);
        handle.retry_time.tv_sec += 3600;
        natpmpresp_t response{};
        const int read = readnatpmpresponseorretry(&handle, &response);
        // What the library read came from the datagram, not from past its end.
        FUZZ_REQUIRE(read != NATPMP_TRYAGAIN && response.resultcode == Get16(datagram, 2));
        if (read != 0) continue;
        // libnatpmp takes every field of a success from its buffer: only whole answers may reach it.
        FUZZ_REQUIRE(response.type == opcode && datagram.size() == (opcode == natpmp::kPublicAddress ? 12u : 16u));
        if (opcode != natpmp::kPublicAddress)
            FUZZ_REQUIRE(response.pnu.newportmapping.privateport == Get16(datagram, 8) &&
                         response.pnu.newportmapping.mappedpublicport == Get16(datagram, 10));
    }
}

} // namespace

FUZZ_HARNESS(datagram)
{
    CheckPcp(datagram);
    CheckNatPmp(datagram);
}
