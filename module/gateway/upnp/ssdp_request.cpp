#include "gateway/upnp/ssdp_request.h"

#include <array>
#include <string>
#include <string_view>

#include "gateway/gateway_log.h"

namespace gateway {
namespace {

// Version 2 devices answer a version 1 search too, but some answer only for their own.
constexpr std::array<std::string_view, 2> kSearchTargets{
    "urn:schemas-upnp-org:device:InternetGatewayDevice:1",
    "urn:schemas-upnp-org:device:InternetGatewayDevice:2",
};

std::string SearchMessage(const std::string& host, bool multicast, std::string_view target)
{
    // A unicast search carries no MX: the device answers at once instead of after a
    // random delay of up to MX seconds.
    std::string message = "M-SEARCH * HTTP/1.1\r\nHOST: " + host + "\r\nMAN: \"ssdp:discover\"\r\n";
    if (multicast) message += "MX: 1\r\n";
    message += "ST: ";
    message += target;
    message += "\r\n\r\n";
    return message;
}

host::UniqueSocket OpenSearchSocket()
{
    host::UniqueSocket socket = host::OpenUdpSocket();
    if (!socket) GatewayLog("SSDP socket: " + host::LastSocketError());
    return socket;
}

// Sends every search to `to`; false when the destination refused or cannot be reached.
bool SendSearches(host::SocketHandle socket, Ipv4 to, std::uint16_t port, bool multicast)
{
    const std::string host = ToString(to) + ":" + std::to_string(port);
    for (const std::string_view target : kSearchTargets) {
        const std::string message = SearchMessage(host, multicast, target);
        const host::Io sent = host::SendTo(socket, message.data(), message.size(), to, port);
        if (sent != host::Io::Done) {
            if (sent != host::Io::Refused) GatewayLog("SSDP search to " + host + ": " + host::LastSocketError());
            return false;
        }
    }
    return true;
}

} // namespace

host::UniqueSocket AskGatewayForDevice(Ipv4 gatewayAddress, std::uint16_t port)
{
    host::UniqueSocket socket = OpenSearchSocket();
    if (socket && host::Connect(socket.get(), gatewayAddress, port) &&
        SendSearches(socket.get(), gatewayAddress, port, false))
        return socket;
    return host::UniqueSocket();
}

host::UniqueSocket AskGroupForDevice(Ipv4 group, std::uint16_t port)
{
    host::UniqueSocket socket = OpenSearchSocket();
    if (socket) host::SetMulticastHops(socket.get(), 2); // as UDA advises: the LAN and no further
    if (socket && SendSearches(socket.get(), group, port, true)) return socket;
    return host::UniqueSocket();
}

} // namespace gateway
