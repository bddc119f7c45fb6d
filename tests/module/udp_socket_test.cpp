// The socket layer's promises that the gateway client builds on, on loopback: what a
// receive, a peek and a send report, and which sockets a wait finds ready. The same
// cases run on POSIX and, under Wine, on Winsock.
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <string>

#include "gateway/host/socket.h"
#include "gateway/host/socket_headers.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

using namespace gateway;
using namespace std::chrono_literals;

const Ipv4 kLoopback{0x7F000001u};
// A wait for what was sent is bounded only as the module's run is: a busy machine may be slow.
constexpr auto kRun = 9s;

// The layer never needs its own port; the test asks the system.
std::uint16_t PortOf(host::SocketHandle socket)
{
    sockaddr_in6 local{}; // room for either family; the port sits where both keep it
#ifdef _WIN32
    int size = sizeof local;
#else
    socklen_t size = sizeof local;
#endif
    return getsockname(socket, reinterpret_cast<sockaddr*>(&local), &size) == 0 ? ntohs(local.sin6_port) : 0;
}

// A socket bound to a free loopback port, and that port.
struct Bound {
    host::UniqueSocket socket = host::OpenUdpSocket();
    std::uint16_t port = socket && host::Bind(socket.get(), kLoopback, 0) ? PortOf(socket.get()) : 0;
};

void WaitFor(host::SocketHandle socket)
{
    std::vector<host::Watched> sockets{{socket}};
    ASSERT_TRUE(host::WaitReadable(sockets, Clock::now() + kRun));
    ASSERT_TRUE(sockets[0].ready);
}

TEST(UdpSocket, AWaitFindsWhatArrivedAndReceiveAndPeekTellIt)
{
    Bound bound, quiet;
    ASSERT_NE(bound.port, 0);
    std::array<char, 16> buffer{};
    EXPECT_EQ(host::Receive(bound.socket.get(), buffer.data(), buffer.size()).io, host::Io::Later) << "nothing yet";

    const host::UniqueSocket from = host::OpenUdpSocket();
    const std::string datagram(20, 'x');
    ASSERT_EQ(host::SendTo(from.get(), datagram.data(), datagram.size(), kLoopback, bound.port), host::Io::Done);
    std::vector<host::Watched> sockets{{quiet.socket.get()}, {host::kNoSocket}, {bound.socket.get()}};
    ASSERT_TRUE(host::WaitReadable(sockets, Clock::now() + kRun));
    EXPECT_FALSE(sockets[0].ready);
    EXPECT_FALSE(sockets[1].ready) << "no socket is never ready";
    ASSERT_TRUE(sockets[2].ready);
    const host::Received peeked = host::Peek(bound.socket.get(), buffer.data(), buffer.size());
    EXPECT_EQ(peeked.io, host::Io::Done);
    EXPECT_GT(peeked.size, buffer.size()) << "a peek says that the datagram does not fit";
    EXPECT_EQ(peeked.from, kLoopback);
    const host::Received taken = host::Receive(bound.socket.get(), buffer.data(), 8);
    EXPECT_EQ(taken.io, host::Io::Done) << "the peek left the datagram waiting";
    EXPECT_EQ(taken.size, 8u) << "a receive cuts what does not fit";
    EXPECT_EQ(host::Receive(bound.socket.get(), buffer.data(), buffer.size()).io, host::Io::Later)
        << "the rest of a cut datagram is gone";

    std::vector<host::Watched> none{{quiet.socket.get()}};
    const auto start = Clock::now();
    ASSERT_TRUE(host::WaitReadable(none, start + 100ms));
    EXPECT_FALSE(none[0].ready);
    EXPECT_GE(Clock::now() - start, 100ms) << "a wait with nothing to read lasts to its end";
}

// Wine hands a UDP socket no ICMP error, where Windows answers WSAECONNRESET.
bool UnderWine()
{
#ifdef _WIN32
    const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
#else
    return false;
#endif
}

TEST(UdpSocket, AClosedPortComesBackAsRefused)
{
    if (UnderWine()) GTEST_SKIP() << "Wine does not report a closed UDP port";
    Bound closed;
    const std::uint16_t port = closed.port;
    closed.socket.reset();
    Bound asking;
    ASSERT_TRUE(host::Connect(asking.socket.get(), kLoopback, port));
    EXPECT_EQ(host::LocalAddress(asking.socket.get()), kLoopback);
    ASSERT_EQ(host::Send(asking.socket.get(), "?", 1), host::Io::Done);
    WaitFor(asking.socket.get());
    std::array<char, 16> buffer{};
    EXPECT_EQ(host::Receive(asking.socket.get(), buffer.data(), buffer.size()).io, host::Io::Refused);
}

// PCP over IPv6 takes the router's answers only: a socket connected to one peer hears
// that peer and not another sender to its port.
TEST(UdpSocket, AConnectedIpv6SocketHearsItsPeerOnly)
{
    const Ipv6 loopback = *ParseIpv6("::1");
    const auto bound = [&loopback] {
        host::UniqueSocket socket = host::OpenUdpSocket(host::Family::Ipv6);
        EXPECT_TRUE(socket && host::Bind(socket.get(), loopback, 0)) << host::LastSocketError();
        return socket;
    };
    const host::UniqueSocket listener = bound(), peer = bound(), stranger = bound();
    ASSERT_TRUE(host::Connect(listener.get(), loopback, 0, PortOf(peer.get())));
    for (const auto& [from, text] : {std::pair{&stranger, "?"}, {&peer, "!"}}) {
        ASSERT_TRUE(host::Connect(from->get(), loopback, 0, PortOf(listener.get())));
        ASSERT_EQ(host::Send(from->get(), text, 1), host::Io::Done);
    }
    WaitFor(listener.get());
    std::array<char, 16> buffer{};
    const host::Received heard = host::Receive(listener.get(), buffer.data(), buffer.size());
    ASSERT_EQ(heard.io, host::Io::Done);
    EXPECT_EQ(std::string(buffer.data(), heard.size), "!");
    EXPECT_EQ(host::Receive(listener.get(), buffer.data(), buffer.size()).io, host::Io::Later) << "the stranger's is gone";
}

} // namespace
