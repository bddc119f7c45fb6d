#include "ssdp_search.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <string_view>
#include <vector>

#include "gateway_log.h"
#include "ssdp_response.h"
#include "platform/posix/unique_fd.h"

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

UniqueFd OpenUdpSocket()
{
    UniqueFd fd(socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!fd) GatewayLog(std::string("SSDP socket: ") + std::strerror(errno));
    return fd;
}

// Sends every search to `to`; false when the destination refused or cannot be reached.
bool SendSearches(int fd, const sockaddr_in& to, bool multicast)
{
    const std::string host = ToString(AddressOf(to)) + ":" + std::to_string(ntohs(to.sin_port));
    for (const std::string_view target : kSearchTargets) {
        const std::string message = SearchMessage(host, multicast, target);
        if (sendto(fd, message.data(), message.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to) < 0) {
            if (errno != ECONNREFUSED) GatewayLog("SSDP search to " + host + ": " + std::strerror(errno));
            return false;
        }
    }
    return true;
}

// The socket that asks the default gateway alone; connected, so that a closed port
// comes back as ECONNREFUSED instead of silence.
UniqueFd AskGateway(Ipv4 gatewayAddress, std::uint16_t port)
{
    UniqueFd fd = OpenUdpSocket();
    const sockaddr_in to = SocketAddress(gatewayAddress, port);
    if (fd && connect(fd.get(), reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0 && SendSearches(fd.get(), to, false))
        return fd;
    return UniqueFd();
}

UniqueFd AskGroup(Ipv4 group, std::uint16_t port)
{
    UniqueFd fd = OpenUdpSocket();
    const int hops = 2; // as UDA advises: the LAN and no further
    if (fd) setsockopt(fd.get(), IPPROTO_IP, IP_MULTICAST_TTL, &hops, sizeof hops);
    if (fd && SendSearches(fd.get(), SocketAddress(group, port), true)) return fd;
    return UniqueFd();
}

class Search {
public:
    Search(const SsdpSearchPlan& plan, Deadline deadline, PortControlProbe* probe)
        : plan_(plan), deadline_(deadline), probe_(probe)
    {
    }

    SearchFindings Run()
    {
        if (plan_.defaultGateway) gateway_ = AskGateway(*plan_.defaultGateway, plan_.port);
        group_ = AskGroup(plan_.group, plan_.port);
        while (!findings_.gateway) {
            if (probe_ && probe_->Answered() && (!gateway_ || Clock::now() >= probe_->GraceEnd())) break;
            if (MillisecondsLeft(deadline_) == 0 || NothingLeftToHear()) break;
            WaitAndRead();
        }
        return findings_;
    }

private:
    // The default gateway refused the search (or there is none) and its PCP and NAT-PMP
    // questions are over: what other devices say only names them, and a moment does that.
    bool NothingLeftToHear() const
    {
        return !gateway_ && (!probe_ || probe_->Settled()) && (!group_ || Clock::now() >= othersHeard_);
    }

    void WaitAndRead()
    {
        std::vector<pollfd> fds{{gateway_.get(), POLLIN, 0}, {group_.get(), POLLIN, 0}};
        Deadline wake = gateway_ ? deadline_ : Earlier(deadline_, othersHeard_);
        if (probe_)
            for (const Exchange* exchange : probe_->Exchanges()) {
                fds.push_back(pollfd{exchange->Socket(), POLLIN, 0});
                wake = Earlier(wake, exchange->NextResend());
            }
        if (poll(fds.data(), fds.size(), MillisecondsLeft(wake)) < 0 && errno != EINTR) return;
        if (fds[0].revents != 0) Drain(gateway_);
        if (fds[1].revents != 0) Drain(group_);
        if (probe_)
            for (Exchange* exchange : probe_->Exchanges()) exchange->Serve();
    }

    void Drain(UniqueFd& fd)
    {
        std::array<char, 2048> datagram;
        while (fd && !findings_.gateway && MillisecondsLeft(deadline_) > 0) {
            sockaddr_in from{};
            socklen_t fromLength = sizeof from;
            const ssize_t size = recvfrom(fd.get(), datagram.data(), datagram.size(), 0,
                                          reinterpret_cast<sockaddr*>(&from), &fromLength);
            if (size < 0) {
                // ECONNREFUSED: the gateway has no SSDP service; stop waiting for it.
                if (errno != EAGAIN && errno != EINTR) fd.reset();
                return;
            }
            Consider(std::string_view(datagram.data(), static_cast<std::size_t>(size)), AddressOf(from));
        }
    }

    // A device on this host itself (loopback, or one of its addresses) is never the
    // gateway, whatever it says: anyone on the host can answer a search.
    void Consider(std::string_view datagram, Ipv4 sender)
    {
        if (plan_.network.IsSelf(sender)) return;
        auto location = GatewayLocation(datagram, sender);
        const bool fromGateway = plan_.defaultGateway && sender == *plan_.defaultGateway;
        if (fromGateway && !location && !findings_.gatewayMisleads) {
            GatewayLog("the default gateway's answer to the search names no gateway description of its own; not followed");
            findings_.gatewayMisleads = true;
        }
        if (!location) return;
        if (fromGateway) {
            findings_.gateway = std::move(*location);
            if (const auto answer = ParseSsdpAnswer(datagram)) findings_.gatewayUdn = UdnOf(answer->usn);
        }
        else if (!findings_.elsewhere && plan_.network.IsOnLan(sender))
            findings_.elsewhere = sender;
    }

    const SsdpSearchPlan& plan_;
    const Deadline deadline_;
    PortControlProbe* probe_;
    UniqueFd gateway_;
    UniqueFd group_;
    // A device answers a multicast search within MX (1 s), most at once.
    const Deadline othersHeard_ = Clock::now() + std::chrono::milliseconds(200);
    SearchFindings findings_;
};

} // namespace

SearchFindings SearchGatewayDevice(const SsdpSearchPlan& plan, Deadline deadline, PortControlProbe* probe)
{
    return Search(plan, deadline, probe).Run();
}

} // namespace gateway
