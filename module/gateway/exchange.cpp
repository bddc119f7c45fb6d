#include "gateway/exchange.h"
#include "gateway/sentences.h"

#include <algorithm>
#include <string>
#include <vector>

#include "tell.h"

namespace gateway {

void Exchange::Serve()
{
    if (state_ != State::Waiting) return;
    Read();
    if (state_ == State::Waiting && Clock::now() >= nextResend_) Send();
}

void Exchange::Send()
{
    nextResend_ = Clock::now() + interval_;
    interval_ *= 2;
    if (!SendRequest()) state_ = State::Closed;
}

namespace {

// A new socket of `family`, bound by `bind` when given, then connected by `connect`;
// each failure told with the addresses' text.
template <typename Bind, typename Connect>
host::UniqueSocket ConnectedSocket(host::Family family, const std::string& from, Bind bind, const std::string& to,
                                   Connect connect)
{
    host::UniqueSocket socket = host::OpenUdpSocket(family);
    if (!socket) {
        Tell(sentence::PcpSocketNotMade, {{"error", host::LastSocketError()}});
        return socket;
    }
    if (!from.empty() && !bind(socket.get())) {
        Tell(sentence::PcpNotOwnAddress, {{"address", from}, {"error", host::LastSocketError()}});
        return host::UniqueSocket();
    }
    if (!connect(socket.get())) {
        Tell(sentence::PortControlUnreachable, {{"gateway", to}, {"error", host::LastSocketError()}});
        return host::UniqueSocket();
    }
    return socket;
}

} // namespace

host::UniqueSocket ConnectToPortControl(Ipv4 gatewayAddress, std::optional<Ipv4> from)
{
    return ConnectedSocket(
        host::Family::Ipv4, from ? ToString(*from) : std::string(),
        [&](host::SocketHandle socket) { return host::Bind(socket, *from, 0); }, ToString(gatewayAddress),
        [&](host::SocketHandle socket) { return host::Connect(socket, gatewayAddress, kPortControlPort); });
}

host::UniqueSocket ConnectToPortControl(const Ipv6& ipv6Gateway, std::uint32_t scope, const Ipv6& from)
{
    return ConnectedSocket(
        host::Family::Ipv6, ToString(from), [&](host::SocketHandle socket) { return host::Bind(socket, from, 0); },
        ToString(ipv6Gateway), [&](host::SocketHandle socket) { return host::Connect(socket, ipv6Gateway, scope, kPortControlPort); });
}

std::optional<Ipv4> SourceAddressToward(Ipv4 gatewayAddress)
{
    // Connecting a UDP socket sends nothing; it only picks the route and source.
    const host::UniqueSocket socket = host::OpenUdpSocket();
    if (!socket || !host::Connect(socket.get(), gatewayAddress, kPortControlPort)) return std::nullopt;
    return host::LocalAddress(socket.get());
}

void Await(std::initializer_list<Exchange*> exchanges, Deadline deadline)
{
    const auto waiting = [&exchanges] {
        return std::any_of(exchanges.begin(), exchanges.end(),
                           [](const Exchange* e) { return e->Progress() == Exchange::State::Waiting; });
    };
    // Served once even past the deadline: an answer already here is taken.
    while (true) {
        for (Exchange* exchange : exchanges) exchange->Serve();
        if (!waiting() || MillisecondsLeft(deadline) == 0) return;
        std::vector<host::Watched> sockets;
        Deadline wake = deadline;
        for (const Exchange* exchange : exchanges) {
            sockets.push_back(host::Watched{exchange->Socket()});
            wake = Earlier(wake, exchange->NextResend());
        }
        if (!host::WaitReadable(sockets, wake)) return;
    }
}

} // namespace gateway
