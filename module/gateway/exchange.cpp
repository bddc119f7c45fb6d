#include "gateway/exchange.h"

#include <algorithm>
#include <string>
#include <vector>

#include "diagnostics.h"

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

host::UniqueSocket ConnectToPortControl(Ipv4 gatewayAddress, std::optional<Ipv4> from)
{
    host::UniqueSocket socket = host::OpenUdpSocket();
    if (!socket) {
        UserLine("A socket for PCP could not be made: " + host::LastSocketError() + ".");
        return socket;
    }
    if (from && !host::Bind(socket.get(), *from, 0)) {
        UserLine("PCP maps ports only to this machine, and " + ToString(*from) + " is not one of its addresses (" +
                 host::LastSocketError() + ").");
        return host::UniqueSocket();
    }
    if (!host::Connect(socket.get(), gatewayAddress, kPortControlPort)) {
        UserLine("The gateway " + ToString(gatewayAddress) + " cannot be reached on port 5351: " +
                 host::LastSocketError() + ".");
        return host::UniqueSocket();
    }
    return socket;
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
