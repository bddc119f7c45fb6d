#include "gateway/host/socket.h"

#include "gateway/host/socket_headers.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace gateway::host {
namespace {

Io Classify(int error)
{
    switch (error) {
    case EAGAIN:
#if EWOULDBLOCK != EAGAIN
    case EWOULDBLOCK:
#endif
    case EINTR: return Io::Later;
    // An ICMP port unreachable after a datagram to a closed port.
    case ECONNREFUSED: return Io::Refused;
    default: return Io::Failed;
    }
}

Received Take(SocketHandle socket, char* buffer, std::size_t capacity, int flags)
{
    sockaddr_storage from{};
    socklen_t fromLength = sizeof from;
    const ssize_t size = recvfrom(socket, buffer, capacity, flags | MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&from),
                                  &fromLength);
    if (size < 0) return Received{Classify(errno), 0, {}};
    // Without MSG_TRUNC the size is what fits.
    return Received{Io::Done, static_cast<std::size_t>(size), AddressOf(from)};
}

} // namespace

void CloseSocket(SocketHandle socket) { ::close(socket); }

void StartSockets() {}

UniqueSocket OpenUdpSocket(Family family)
{
    return UniqueSocket(::socket(family == Family::Ipv6 ? AF_INET6 : AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
}

bool SetMulticastHops(SocketHandle socket, int hops)
{
    return setsockopt(socket, IPPROTO_IP, IP_MULTICAST_TTL, &hops, sizeof hops) == 0;
}

Received Receive(SocketHandle socket, char* buffer, std::size_t capacity) { return Take(socket, buffer, capacity, 0); }

Received Peek(SocketHandle socket, char* buffer, std::size_t capacity)
{
    return Take(socket, buffer, capacity, MSG_PEEK | MSG_TRUNC);
}

Io Send(SocketHandle socket, const void* bytes, std::size_t size)
{
    return send(socket, bytes, size, MSG_DONTWAIT) >= 0 ? Io::Done : Classify(errno);
}

Io SendTo(SocketHandle socket, const void* bytes, std::size_t size, Ipv4 address, std::uint16_t port)
{
    const sockaddr_in to = SocketAddress(address, port);
    return sendto(socket, bytes, size, MSG_DONTWAIT, reinterpret_cast<const sockaddr*>(&to), sizeof to) >= 0
               ? Io::Done
               : Classify(errno);
}

std::string LastSocketError() { return std::strerror(errno); }

bool WaitReadable(std::vector<Watched>& sockets, Deadline until)
{
    std::vector<pollfd> polled;
    for (const Watched& watched : sockets) polled.push_back(pollfd{watched.socket, POLLIN, 0});
    const int events = poll(polled.data(), polled.size(), MillisecondsLeft(until));
    for (std::size_t i = 0; i < sockets.size(); ++i) sockets[i].ready = events > 0 && polled[i].revents != 0;
    return events >= 0 || errno == EINTR;
}

} // namespace gateway::host
