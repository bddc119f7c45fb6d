#include "gateway/exchange.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
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

UniqueFd ConnectToPortControl(Ipv4 gatewayAddress, std::optional<Ipv4> from)
{
    UniqueFd fd(socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!fd) {
        UserLine(std::string("A socket for PCP could not be made: ") + std::strerror(errno) + ".");
        return fd;
    }
    if (from) {
        const sockaddr_in local = SocketAddress(*from, 0);
        if (bind(fd.get(), reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
            UserLine("PCP maps ports only to this machine, and " + ToString(*from) + " is not one of its addresses (" +
                       std::strerror(errno) + ").");
            return UniqueFd();
        }
    }
    const sockaddr_in to = SocketAddress(gatewayAddress, kPortControlPort);
    if (connect(fd.get(), reinterpret_cast<const sockaddr*>(&to), sizeof to) != 0) {
        UserLine("The gateway " + ToString(gatewayAddress) + " cannot be reached on port 5351: " +
                   std::strerror(errno) + ".");
        return UniqueFd();
    }
    return fd;
}

std::optional<Ipv4> SourceAddressToward(Ipv4 gatewayAddress)
{
    // Connecting a UDP socket sends nothing; it only picks the route and source.
    const UniqueFd fd(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    const sockaddr_in to = SocketAddress(gatewayAddress, kPortControlPort);
    sockaddr_in local{};
    socklen_t size = sizeof local;
    if (!fd || connect(fd.get(), reinterpret_cast<const sockaddr*>(&to), sizeof to) != 0 ||
        getsockname(fd.get(), reinterpret_cast<sockaddr*>(&local), &size) != 0)
        return std::nullopt;
    return AddressOf(local);
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
        std::vector<pollfd> fds;
        Deadline wake = deadline;
        for (const Exchange* exchange : exchanges) {
            fds.push_back(pollfd{exchange->Socket(), POLLIN, 0});
            wake = Earlier(wake, exchange->NextResend());
        }
        if (poll(fds.data(), fds.size(), MillisecondsLeft(wake)) < 0 && errno != EINTR) return;
    }
}

} // namespace gateway
