#include "gateway/upnp/device_on_link.h"

#include <array>
#include <vector>

#include "gateway/host/socket.h"
#include "gateway/host/socket_headers.h"
#include "gateway/upnp/ssdp_response.h"

namespace gateway {
namespace {

constexpr std::uint16_t kSsdpPort = 1900;

std::string DeviceSearchOnLink(const std::string& udn)
{
    // MX 1: devices wait at most a second before they answer a group's search.
    return "M-SEARCH * HTTP/1.1\r\nHOST: [FF02::C]:1900\r\nMAN: \"ssdp:discover\"\r\nMX: 1\r\nST: " + udn + "\r\n\r\n";
}

} // namespace

bool AnswersAsDevice(std::string_view datagram, const std::string& udn)
{
    const auto answer = ParseSsdpAnswer(datagram);
    return answer && !udn.empty() && UdnOf(answer->usn) == udn;
}

std::optional<Ipv6> FindDeviceOnLink(const Ipv6& source, std::uint32_t scope, const std::string& udn,
                                     Deadline until)
{
    const auto group = ParseIpv6("ff02::c");
    if (udn.empty() || !group) return std::nullopt;
    host::StartSockets();
    const host::UniqueSocket socket(::socket(AF_INET6, SOCK_DGRAM, IPPROTO_UDP));
    if (!socket) return std::nullopt;
    const sockaddr_in6 from = SocketAddress(source, 0, 0), to = SocketAddress(*group, scope, kSsdpPort);
    const unsigned hops = 1; // the link and no further
    const std::string search = DeviceSearchOnLink(udn);
    if (bind(socket.get(), reinterpret_cast<const sockaddr*>(&from), sizeof from) != 0 ||
        setsockopt(socket.get(), IPPROTO_IPV6, IPV6_MULTICAST_HOPS, reinterpret_cast<const char*>(&hops),
                   sizeof hops) != 0 ||
        sendto(socket.get(), search.data(), static_cast<int>(search.size()), 0, reinterpret_cast<const sockaddr*>(&to),
               sizeof to) < 0)
        return std::nullopt;
    std::array<char, 2048> datagram{};
    std::vector<host::Watched> watched{host::Watched{socket.get()}};
    while (MillisecondsLeft(until) > 0 && host::WaitReadable(watched, until) && watched.front().ready) {
        sockaddr_in6 sender{};
        socklen_t size = sizeof sender;
        const auto received = recvfrom(socket.get(), datagram.data(), static_cast<int>(datagram.size()), 0,
                                       reinterpret_cast<sockaddr*>(&sender), &size);
        if (received < 0) return std::nullopt;
        const Ipv6 answered = AddressOf(sender);
        if (answered != source &&
            AnswersAsDevice(std::string_view(datagram.data(), static_cast<std::size_t>(received)), udn))
            return answered;
    }
    return std::nullopt;
}

} // namespace gateway
