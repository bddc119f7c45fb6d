// An SSDP answer as any device on the LAN may send it: parsed, judged as a gateway,
// and followed only when it points back at the device that sent it.
#include "fuzz_check.h"
#include "gateway/upnp/ssdp_response.h"

FUZZ_HARNESS(bytes)
{
    using namespace gateway;
    // The first four bytes are the sender, the rest the datagram.
    if (bytes.size() < 4) return;
    const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
    const Ipv4 sender{static_cast<std::uint32_t>(data[0]) << 24 | static_cast<std::uint32_t>(data[1]) << 16 |
                      static_cast<std::uint32_t>(data[2]) << 8 | data[3]};
    const std::string_view datagram = bytes.substr(4);

    const std::optional<SsdpAnswer> answer = ParseSsdpAnswer(datagram);
    if (answer) {
        FUZZ_REQUIRE(!answer->searchTarget.empty() && !answer->location.empty());
        FUZZ_REQUIRE(datagram.find(answer->location) != std::string_view::npos);
    }

    const std::optional<std::string> location = GatewayLocation(datagram, sender);
    if (location) {
        FUZZ_REQUIRE(answer && IsGatewayDevice(answer->searchTarget));
        const std::optional<Ipv4> host = UrlHost(*location);
        FUZZ_REQUIRE(host && *host == sender);
    }

    if (const std::optional<Ipv4> host = UrlHost(datagram)) {
        FUZZ_REQUIRE(ParseIpv4(ToString(*host)) == host);
    }
}
