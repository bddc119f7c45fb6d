// What the gateway client builds on. The socket layer's promises, on loopback: what a
// receive, a peek and a send report, and which sockets a wait finds ready; the same cases
// run on POSIX and, under Wine, on Winsock. And what the kernel's tables name: the default
// gateway (its byte order, which routes count, the lowest metric winning), the gateway's
// link-layer address, which IPv6 address of the chosen interface a pinhole is opened for,
// and which router is asked.
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <sstream>
#include <string>

#include "gateway/host/default_route.h"
#include "gateway/host/ipv6_interface.h"
#include "gateway/host/link_address.h"
#include "gateway/host/socket.h"
#include "gateway/host/socket_headers.h"
#include "scratch_folder.h"

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

void SendTo(const Bound& to, const std::string& bytes)
{
    const host::UniqueSocket from = host::OpenUdpSocket();
    ASSERT_EQ(host::SendTo(from.get(), bytes.data(), bytes.size(), kLoopback, to.port), host::Io::Done);
}

void WaitFor(const Bound& bound)
{
    std::vector<host::Watched> sockets{{bound.socket.get()}};
    ASSERT_TRUE(host::WaitReadable(sockets, Clock::now() + kRun));
    ASSERT_TRUE(sockets[0].ready);
}

TEST(UdpSocket, ReceiveAndPeekTellWhatArrived)
{
    Bound bound;
    ASSERT_NE(bound.port, 0);
    std::array<char, 16> buffer{};
    EXPECT_EQ(host::Receive(bound.socket.get(), buffer.data(), buffer.size()).io, host::Io::Later) << "nothing yet";

    SendTo(bound, std::string(20, 'x'));
    WaitFor(bound);
    const host::Received peeked = host::Peek(bound.socket.get(), buffer.data(), buffer.size());
    EXPECT_EQ(peeked.io, host::Io::Done);
    EXPECT_GT(peeked.size, buffer.size()) << "a peek says that the datagram does not fit";
    EXPECT_EQ(peeked.from, kLoopback);
    const host::Received taken = host::Receive(bound.socket.get(), buffer.data(), 8);
    EXPECT_EQ(taken.io, host::Io::Done) << "the peek left the datagram waiting";
    EXPECT_EQ(taken.size, 8u) << "a receive cuts what does not fit";
    EXPECT_EQ(host::Receive(bound.socket.get(), buffer.data(), buffer.size()).io, host::Io::Later)
        << "the rest of a cut datagram is gone";
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
    WaitFor(asking);
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
    std::vector<host::Watched> sockets{{listener.get()}};
    ASSERT_TRUE(host::WaitReadable(sockets, Clock::now() + kRun));
    std::array<char, 16> buffer{};
    const host::Received heard = host::Receive(listener.get(), buffer.data(), buffer.size());
    ASSERT_EQ(heard.io, host::Io::Done);
    EXPECT_EQ(std::string(buffer.data(), heard.size), "!");
    EXPECT_EQ(host::Receive(listener.get(), buffer.data(), buffer.size()).io, host::Io::Later) << "the stranger's is gone";
}

TEST(UdpSocket, AWaitFindsOnlyTheSocketsWithSomethingToRead)
{
    Bound quiet, spoken;
    SendTo(spoken, "!");
    std::vector<host::Watched> sockets{{quiet.socket.get()}, {host::kNoSocket}, {spoken.socket.get()}};
    ASSERT_TRUE(host::WaitReadable(sockets, Clock::now() + kRun));
    EXPECT_FALSE(sockets[0].ready);
    EXPECT_FALSE(sockets[1].ready) << "no socket is never ready";
    EXPECT_TRUE(sockets[2].ready);

    std::vector<host::Watched> none{{quiet.socket.get()}};
    const auto start = Clock::now();
    ASSERT_TRUE(host::WaitReadable(none, start + 100ms));
    EXPECT_FALSE(none[0].ready);
    EXPECT_GE(Clock::now() - start, 100ms) << "a wait with nothing to read lasts to its end";
}

constexpr const char* kTitles =
    "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n";

// The gateway chosen from these route lines, as text; "none" when there is none.
std::string DefaultGateway(const std::string& lines)
{
    std::istringstream table(kTitles + lines);
    const auto gateway = host::ChooseDefaultGateway(host::DefaultRoutesFromTable(table));
    return gateway ? ToString(*gateway) : "none";
}

TEST(DefaultRoute, TakesTheUsableDefaultRouteWithTheLowestMetric)
{
    const struct {
        const char* why;
        std::string lines;
        std::string gateway;
    } cases[] = {
        {"a subnet route is no default", "lan0\t00004D0A\t01004D0A\t0003\t0\t0\t0\t00FFFFFF\t0\t0\t0\n", "none"},
        {"a route that is down", "lan0\t00000000\t01004D0A\t0002\t0\t0\t0\t00000000\t0\t0\t0\n", "none"},
        {"an on-link default names no gateway", "lan0\t00000000\t00000000\t0001\t0\t0\t0\t00000000\t0\t0\t0\n", "none"},
        {"the lower metric wins, wherever listed, in the kernel's byte order",
         "wlan0\t00000000\t0101A8C0\t0003\t0\t0\t600\t00000000\t0\t0\t0\n"
         "lan0\t00000000\t01004D0A\t0003\t0\t0\t100\t00000000\t0\t0\t0\n",
         "10.77.0.1"},
        {"the first among equals",
         "wlan0\t00000000\t0101A8C0\t0003\t0\t0\t100\t00000000\t0\t0\t0\n"
         "lan0\t00000000\t01004D0A\t0003\t0\t0\t100\t00000000\t0\t0\t0\n",
         "192.168.1.1"},
        {"a line that does not parse is skipped",
         "lan0\t00000000\tnot-hex\t0003\t0\t0\t0\t00000000\t0\t0\t0\n"
         "lan0\t00000000\t01004D0A\t0003\t0\t0\t5\t00000000\t0\t0\t0\n",
         "10.77.0.1"},
    };
    for (const auto& c : cases) EXPECT_EQ(DefaultGateway(c.lines), c.gateway) << c.why;
}

TEST(GatewayIdentity, LinkAddressOnlyFromACompleteEntry)
{
    const ScratchFolder scratch;
    const std::string path = scratch.path / "arp";
    std::ofstream(path) << "IP address       HW type     Flags       HW address            Mask     Device\n"
                           "10.77.0.1        0x1         0x2         02:00:0a:4d:00:01     *        lan0\n"
                           "10.77.0.3        0x1         0x0         00:00:00:00:00:00     *        lan0\n"
                           "10.77.0.10       0x1         0x6         02:00:0a:4d:00:0a     *        lan0\n";
    const std::pair<const char*, std::string> cases[] = {
        {"10.77.0.1", "02:00:0a:4d:00:01"}, {"10.77.0.3", ""}, {"10.77.0.10", "02:00:0a:4d:00:0a"}, {"10.77.0.9", ""}};
    for (const auto& [host, link] : cases) EXPECT_EQ(host::LinkAddressOf(*ParseIpv4(host), path), link) << host;
}

// One line of /proc/net/if_inet6: address, index, prefix length, scope, flags, name.
std::string Address(const char* hex, const char* flags, const char* name = "lan0")
{
    return std::string(hex) + " 02 40 00 " + flags + " " + name + "\n";
}

constexpr const char* kGlobal = "20010db8007700000000000000000002";
constexpr const char* kOtherGlobal = "20010db8007700000000000000000009";
constexpr const char* kLinkLocal = "fe80000000000000cc6073fffedc0c2a";
constexpr const char* kUniqueLocal = "fd000000000000000000000000000002";

std::string Chosen(const std::string& lines)
{
    std::istringstream table(lines);
    const auto chosen = ChooseGlobalIpv6(host::InterfaceAddressesFromTable(table, "lan0"));
    return chosen ? ToString(*chosen) : "none";
}

TEST(Ipv6Interface, ChoosesAStableUsableGlobalAddressOfTheInterface)
{
    const struct {
        const char* why;
        std::string lines;
        std::string chosen;
    } cases[] = {
        {"link-local and unique-local are passed over",
         Address(kLinkLocal, "80") + Address(kUniqueLocal, "80") + Address(kGlobal, "00"), "2001:db8:77::2"},
        {"the stable one before a temporary one listed first",
         Address(kOtherGlobal, "01") + Address(kGlobal, "00"), "2001:db8:77::2"},
        {"a deprecated one is never used", Address(kGlobal, "a0") + Address(kOtherGlobal, "01"), "2001:db8:77::9"},
        {"nor one still tentative or whose duplicate detection failed",
         Address(kGlobal, "40") + Address(kOtherGlobal, "08"), "none"},
        {"another interface's global address is not this one's", Address(kGlobal, "80", "wlan0"), "none"},
        {"the first among equals", Address(kOtherGlobal, "80") + Address(kGlobal, "80"), "2001:db8:77::9"},
        {"a damaged line is skipped", "2001db8 02 40 00 80 lan0\n" + Address(kGlobal, "zz") + Address(kGlobal, "80"),
         "2001:db8:77::2"},
    };
    for (const auto& c : cases) EXPECT_EQ(Chosen(c.lines), c.chosen) << c.why;
}

// One line of /proc/net/ipv6_route: destination and length, source and length, next
// hop, metric, reference count, use, flags, name.
std::string Route(const char* destination, const char* length, const char* via, const char* metric, const char* flags,
                  const char* name = "lan0")
{
    return std::string(destination) + " " + length + " 00000000000000000000000000000000 00 " + via + " " + metric +
           " 00000001 00000000 " + flags + " " + name + "\n";
}

constexpr const char* kAny = "00000000000000000000000000000000";
constexpr const char* kRouter = "20010db8007700000000000000000001";
constexpr const char* kOtherRouter = "fe800000000000000000000000000001";

std::string Router(const std::string& lines)
{
    std::istringstream table(lines);
    const auto router = host::DefaultGatewayFromTable(table, "lan0");
    return router ? ToString(*router) : "none";
}

TEST(Ipv6Interface, TakesTheInterfacesDefaultRouterWithTheLowestMetric)
{
    const struct {
        const char* why;
        std::string lines;
        std::string router;
    } cases[] = {
        {"a prefix route is no default", Route(kGlobal, "40", kRouter, "00000100", "00000003"), "none"},
        {"a route without the gateway flag", Route(kAny, "00", kRouter, "00000100", "00000001"), "none"},
        {"another interface's default", Route(kAny, "00", kRouter, "00000100", "00000003", "wlan0"), "none"},
        {"the lower metric wins, wherever listed (hex)",
         Route(kAny, "00", kRouter, "00000400", "00000003") + Route(kAny, "00", kOtherRouter, "000000ff", "00000003"),
         "fe80::1"},
    };
    for (const auto& c : cases) EXPECT_EQ(Router(c.lines), c.router) << c.why;
}

} // namespace
