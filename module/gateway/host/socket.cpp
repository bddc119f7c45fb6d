// What Berkeley sockets and Winsock spell alike.
#include "gateway/host/socket.h"

#include "gateway/host/socket_headers.h"

namespace gateway::host {

bool Bind(SocketHandle socket, Ipv4 address, std::uint16_t port)
{
    const sockaddr_in local = SocketAddress(address, port);
    return bind(socket, reinterpret_cast<const sockaddr*>(&local), sizeof local) == 0;
}

bool Bind(SocketHandle socket, const Ipv6& address, std::uint16_t port)
{
    const sockaddr_in6 local = SocketAddress(address, 0, port);
    return bind(socket, reinterpret_cast<const sockaddr*>(&local), sizeof local) == 0;
}

bool Connect(SocketHandle socket, Ipv4 address, std::uint16_t port)
{
    const sockaddr_in to = SocketAddress(address, port);
    return connect(socket, reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0;
}

bool Connect(SocketHandle socket, const Ipv6& address, std::uint32_t scope, std::uint16_t port)
{
    const sockaddr_in6 to = SocketAddress(address, scope, port);
    return connect(socket, reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0;
}

std::optional<Ipv4> LocalAddress(SocketHandle socket)
{
    sockaddr_in local{};
    socklen_t size = sizeof local;
    if (getsockname(socket, reinterpret_cast<sockaddr*>(&local), &size) != 0) return std::nullopt;
    return AddressOf(local);
}

} // namespace gateway::host
