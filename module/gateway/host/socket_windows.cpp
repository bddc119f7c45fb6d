#include "gateway/host/socket.h"

#include "gateway/host/socket_headers.h"

#include <windows.h>

#include <mutex>

namespace gateway::host {
namespace {

Io Classify(int error)
{
    switch (error) {
    case WSAEWOULDBLOCK:
    case WSAEINTR:
    case WSAEINPROGRESS: return Io::Later;
    // An ICMP port unreachable after a datagram to a closed port.
    case WSAECONNRESET:
    case WSAECONNREFUSED: return Io::Refused;
    default: return Io::Failed;
    }
}

Received Take(SocketHandle socket, char* buffer, std::size_t capacity, int flags)
{
    // Room for a sender of either family: Winsock fails a receive whose sender does not fit.
    sockaddr_storage from{};
    int fromLength = sizeof from;
    const int size = recvfrom(socket, buffer, static_cast<int>(capacity), flags, reinterpret_cast<sockaddr*>(&from),
                              &fromLength);
    if (size >= 0) return Received{Io::Done, static_cast<std::size_t>(size), AddressOf(from)};
    const int error = WSAGetLastError();
    // Winsock fills the buffer and says that the datagram was longer.
    if (error == WSAEMSGSIZE)
        return Received{Io::Done, (flags & MSG_PEEK) != 0 ? capacity + 1 : capacity, AddressOf(from)};
    return Received{Classify(error), 0, {}};
}

} // namespace

void CloseSocket(SocketHandle socket) { closesocket(socket); }

void StartSockets()
{
    // Never cleaned up: the process ends with its sockets.
    static std::once_flag started;
    std::call_once(started, [] {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
    });
}

UniqueSocket OpenUdpSocket(Family family)
{
    StartSockets();
    // WSA_FLAG_NO_HANDLE_INHERIT: a child process never holds our port.
    UniqueSocket socket(WSASocketW(family == Family::Ipv6 ? AF_INET6 : AF_INET, SOCK_DGRAM, IPPROTO_UDP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT));
    u_long nonBlocking = 1;
    if (socket && ioctlsocket(socket.get(), FIONBIO, &nonBlocking) != 0) socket.reset();
    return socket;
}

bool SetMulticastHops(SocketHandle socket, int hops)
{
    const DWORD value = static_cast<DWORD>(hops);
    return setsockopt(socket, IPPROTO_IP, IP_MULTICAST_TTL, reinterpret_cast<const char*>(&value), sizeof value) == 0;
}

Received Receive(SocketHandle socket, char* buffer, std::size_t capacity) { return Take(socket, buffer, capacity, 0); }

Received Peek(SocketHandle socket, char* buffer, std::size_t capacity) { return Take(socket, buffer, capacity, MSG_PEEK); }

Io Send(SocketHandle socket, const void* bytes, std::size_t size)
{
    return send(socket, static_cast<const char*>(bytes), static_cast<int>(size), 0) >= 0 ? Io::Done
                                                                                         : Classify(WSAGetLastError());
}

Io SendTo(SocketHandle socket, const void* bytes, std::size_t size, Ipv4 address, std::uint16_t port)
{
    const sockaddr_in to = SocketAddress(address, port);
    return sendto(socket, static_cast<const char*>(bytes), static_cast<int>(size), 0,
                  reinterpret_cast<const sockaddr*>(&to), sizeof to) >= 0
               ? Io::Done
               : Classify(WSAGetLastError());
}

std::string LastSocketError()
{
    const int error = WSAGetLastError();
    char text[256] = {};
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                        static_cast<DWORD>(error), 0, text, sizeof text, nullptr);
    std::string words(text, length);
    while (!words.empty() && (words.back() == '\n' || words.back() == '\r' || words.back() == '.')) words.pop_back();
    return words.empty() ? "Winsock error " + std::to_string(error) : words;
}

bool WaitReadable(std::vector<Watched>& sockets, Deadline until)
{
    std::vector<WSAPOLLFD> polled;
    for (Watched& watched : sockets) {
        watched.ready = false;
        // WSAPoll refuses an invalid socket, where poll skips a negative descriptor.
        if (watched.socket != kNoSocket) polled.push_back(WSAPOLLFD{watched.socket, POLLRDNORM, 0});
    }
    if (polled.empty()) {
        Sleep(static_cast<DWORD>(MillisecondsLeft(until)));
        return true;
    }
    if (WSAPoll(polled.data(), static_cast<ULONG>(polled.size()), MillisecondsLeft(until)) < 0) return false;
    auto next = polled.begin();
    for (Watched& watched : sockets)
        if (watched.socket != kNoSocket) watched.ready = (next++)->revents != 0;
    return true;
}

} // namespace gateway::host
