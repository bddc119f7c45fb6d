// The UDP sockets of the gateway search and the PCP and NAT-PMP exchanges, and their
// waits: what differs between Berkeley sockets and Winsock (the handle, closing,
// non-blocking mode, errors, poll) stays behind these calls. Every socket is
// non-blocking, and no child process inherits it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "gateway/ipv4_address.h"
#include "gateway/ipv6_address.h"
#include "platform/deadline.h"

namespace gateway::host {

#ifdef _WIN32
using SocketHandle = std::uintptr_t; // SOCKET
inline constexpr SocketHandle kNoSocket = ~SocketHandle{0};
#else
using SocketHandle = int;
inline constexpr SocketHandle kNoSocket = -1;
#endif

void CloseSocket(SocketHandle socket);

// Owner of one socket, closed exactly once.
class UniqueSocket {
public:
    UniqueSocket() = default;
    explicit UniqueSocket(SocketHandle socket) : socket_(socket) {}
    ~UniqueSocket() { reset(); }
    UniqueSocket(const UniqueSocket&) = delete;
    UniqueSocket& operator=(const UniqueSocket&) = delete;
    UniqueSocket(UniqueSocket&& other) noexcept : socket_(std::exchange(other.socket_, kNoSocket)) {}
    UniqueSocket& operator=(UniqueSocket&& other) noexcept
    {
        if (this != &other) {
            reset();
            socket_ = std::exchange(other.socket_, kNoSocket);
        }
        return *this;
    }

    SocketHandle get() const { return socket_; }
    explicit operator bool() const { return socket_ != kNoSocket; }
    void reset()
    {
        if (socket_ != kNoSocket) CloseSocket(std::exchange(socket_, kNoSocket));
    }

private:
    SocketHandle socket_ = kNoSocket;
};

// Makes the system's sockets usable by this process, and by the gateway libraries;
// once, however often it is called.
void StartSockets();

enum class Family { Ipv4, Ipv6 };

// A non-blocking UDP socket; empty, with the reason in LastSocketError, when none can be made.
UniqueSocket OpenUdpSocket(Family family = Family::Ipv4);

bool Bind(SocketHandle socket, Ipv4 address, std::uint16_t port);
bool Bind(SocketHandle socket, const Ipv6& address, std::uint16_t port);
// Sends nothing: only its datagrams arrive afterwards, and a closed port comes back
// as Refused.
bool Connect(SocketHandle socket, Ipv4 address, std::uint16_t port);
// `scope` is the interface index a link-local address needs; 0 otherwise.
bool Connect(SocketHandle socket, const Ipv6& address, std::uint32_t scope, std::uint16_t port);
std::optional<Ipv4> LocalAddress(SocketHandle socket);
// How far multicast datagrams go: 2 hops is the LAN and no further.
bool SetMulticastHops(SocketHandle socket, int hops);

// What a send or a receive came to.
enum class Io {
    Done,
    Later,   // nothing to read yet, no room to send, or interrupted: try again
    Refused, // the port is closed: the host said so
    Failed,
};

struct Received {
    Io io = Io::Failed;
    std::size_t size = 0; // the datagram's bytes in the buffer, when Done
    Ipv4 from; // 0.0.0.0 on an IPv6 socket
};

// One datagram, cut to `capacity`.
Received Receive(SocketHandle socket, char* buffer, std::size_t capacity);
// The next datagram, left waiting: its size is its whole length, or more than
// `capacity` when it does not fit.
Received Peek(SocketHandle socket, char* buffer, std::size_t capacity);
// On a connected socket.
Io Send(SocketHandle socket, const void* bytes, std::size_t size);
Io SendTo(SocketHandle socket, const void* bytes, std::size_t size, Ipv4 address, std::uint16_t port);

// The last socket call's failure, in words.
std::string LastSocketError();

struct Watched {
    SocketHandle socket = kNoSocket; // kNoSocket is never ready
    bool ready = false;              // set by WaitReadable: something to read, or an error
};

// Waits until one socket is ready or `until` comes; false when the wait itself failed.
bool WaitReadable(std::vector<Watched>& sockets, Deadline until);

} // namespace gateway::host
