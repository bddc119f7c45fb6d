// A datagram from the gateway's port 5351, which a gateway of any make may send: read
// as a PCP answer by our parser, and as a NAT-PMP answer by our check and then by
// libnatpmp itself, over loopback, as the module lets it.
#include <arpa/inet.h>
#include <natpmp.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "fuzz_check.h"
#include "platform/linux/gateway/natpmp_answer.h"
#include "platform/linux/gateway/pcp_message.h"

namespace {

using namespace gateway;

std::uint16_t Get16(std::string_view data, std::size_t at)
{
    return static_cast<std::uint16_t>(static_cast<std::uint8_t>(data[at]) << 8 | static_cast<std::uint8_t>(data[at + 1]));
}

void CheckPcp(std::string_view datagram)
{
    const auto answer = pcp::ParseAnswer(datagram);
    if (!answer) return;
    FUZZ_REQUIRE(datagram.size() >= 24 && datagram.size() <= 1100 && datagram.size() % 4 == 0);
    FUZZ_REQUIRE(datagram[0] == 2 && (static_cast<std::uint8_t>(datagram[1]) & 0x80) != 0);
    if (answer->opcode != pcp::kMap) return;
    FUZZ_REQUIRE(datagram.size() >= 60);
    FUZZ_REQUIRE(answer->internalPort == Get16(datagram, 40) && answer->externalPort == Get16(datagram, 42));
    pcp::MapRequest request;
    request.protocol = answer->protocol;
    request.internalPort = answer->internalPort;
    std::memcpy(request.nonce.data(), datagram.data() + 24, request.nonce.size());
    FUZZ_REQUIRE(pcp::Answers(*answer, request));
    request.nonce[0] ^= 1;
    FUZZ_REQUIRE(!pcp::Answers(*answer, request));
}

// A loopback socket pair standing in for the gateway and libnatpmp's handle.
struct Loopback {
    int gateway = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    natpmp_t handle{};
    sockaddr_in client{};

    Loopback()
    {
        handle.s = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        handle.gateway = htonl(INADDR_LOOPBACK);
        client.sin_family = AF_INET;
        client.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof client;
        FUZZ_REQUIRE(bind(handle.s, reinterpret_cast<sockaddr*>(&client), sizeof client) == 0 &&
                     getsockname(handle.s, reinterpret_cast<sockaddr*>(&client), &size) == 0);
    }
};

void CheckNatPmp(std::string_view datagram)
{
    static Loopback loopback;
    for (const std::uint8_t opcode : {natpmp::kPublicAddress, natpmp::kMapUdp, natpmp::kMapTcp}) {
        if (!natpmp::IsAnswerTo(opcode, datagram)) continue;
        FUZZ_REQUIRE(datagram.size() >= 8 && datagram.size() <= natpmp::kLongestAnswer);
        FUZZ_REQUIRE(sendto(loopback.gateway, datagram.data(), datagram.size(), 0,
                            reinterpret_cast<const sockaddr*>(&loopback.client), sizeof loopback.client) ==
                     static_cast<ssize_t>(datagram.size()));
        // As after a request: one pending, its resend an hour away.
        loopback.handle.has_pending_request = 1;
        gettimeofday(&loopback.handle.retry_time, nullptr);
        loopback.handle.retry_time.tv_sec += 3600;
        natpmpresp_t response{};
        const int read = readnatpmpresponseorretry(&loopback.handle, &response);
        FUZZ_REQUIRE(read != NATPMP_TRYAGAIN);
        // What the library read came from the datagram, not from past its end.
        FUZZ_REQUIRE(response.resultcode == Get16(datagram, 2));
        if (read != 0) continue;
        // libnatpmp takes every field of a success from its buffer: only whole answers may reach it.
        FUZZ_REQUIRE(response.type == opcode && datagram.size() == (opcode == natpmp::kPublicAddress ? 12u : 16u));
        if (opcode != natpmp::kPublicAddress)
            FUZZ_REQUIRE(response.pnu.newportmapping.privateport == Get16(datagram, 8) &&
                         response.pnu.newportmapping.mappedpublicport == Get16(datagram, 10));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view datagram(reinterpret_cast<const char*>(data), size);
    CheckPcp(datagram);
    CheckNatPmp(datagram);
    return 0;
}
