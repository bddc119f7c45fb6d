#include "gateway/gateway_search.h"

#include <array>
#include <string_view>
#include <vector>

#include "gateway/upnp/ssdp_request.h"
#include "gateway/upnp/ssdp_response.h"

namespace gateway {
namespace {

class Search {
public:
    Search(const SsdpSearchPlan& plan, Deadline deadline, PortControlProbe* probe)
        : plan_(plan), deadline_(deadline), probe_(probe)
    {
    }

    SearchFindings Run()
    {
        if (plan_.defaultGateway) gateway_ = AskGatewayForDevice(*plan_.defaultGateway, plan_.port);
        while (!findings_.gateway) {
            if (!groupAsked_ && (!gateway_ || Clock::now() >= groupDue_)) AskGroup();
            if (probe_ && probe_->Answered() && (!gateway_ || Clock::now() >= probe_->GraceEnd())) break;
            if (MillisecondsLeft(deadline_) == 0 || NothingLeftToHear()) break;
            WaitAndRead();
        }
        return findings_;
    }

private:
    // Every device on the LAN answers the group, and a router busy answering it answers
    // the search sent straight to it later (some 50 ms on the lab's): the group is asked
    // only once the gateway refused its search or let it wait.
    void AskGroup()
    {
        groupAsked_ = true;
        group_ = AskGroupForDevice(plan_.group, plan_.port);
        othersHeard_ = Clock::now() + kOthersAnswer;
    }

    // The default gateway refused the search (or there is none) and its PCP and NAT-PMP
    // questions are over: what other devices say only names them, and a moment does that.
    bool NothingLeftToHear() const
    {
        return !gateway_ && (!probe_ || probe_->Settled()) && (!group_ || Clock::now() >= othersHeard_);
    }

    void WaitAndRead()
    {
        std::vector<host::Watched> sockets{{gateway_.get()}, {group_.get()}};
        Deadline wake = gateway_ ? deadline_ : Earlier(deadline_, othersHeard_);
        if (!groupAsked_) wake = Earlier(wake, groupDue_);
        // A gateway that answered PCP or NAT-PMP and keeps silent on SSDP is waited for
        // only until the grace ends, not to the search's end.
        if (probe_ && probe_->Answered()) wake = Earlier(wake, probe_->GraceEnd());
        if (probe_)
            for (const Exchange* exchange : probe_->Exchanges()) {
                sockets.push_back(host::Watched{exchange->Socket()});
                wake = Earlier(wake, exchange->NextResend());
            }
        if (!host::WaitReadable(sockets, wake)) return;
        if (sockets[0].ready) Drain(gateway_);
        if (sockets[1].ready) Drain(group_);
        if (probe_)
            for (Exchange* exchange : probe_->Exchanges()) exchange->Serve();
    }

    void Drain(host::UniqueSocket& socket)
    {
        std::array<char, 2048> datagram;
        while (socket && !findings_.gateway && MillisecondsLeft(deadline_) > 0) {
            const host::Received received = host::Receive(socket.get(), datagram.data(), datagram.size());
            if (received.io != host::Io::Done) {
                // Refused: the gateway has no SSDP service; stop waiting for it.
                if (received.io != host::Io::Later) socket.reset();
                return;
            }
            Consider(std::string_view(datagram.data(), received.size), received.from);
        }
    }

    // A device on this host itself (loopback, or one of its addresses) is never the
    // gateway, whatever it says: anyone on the host can answer a search.
    void Consider(std::string_view datagram, Ipv4 sender)
    {
        if (plan_.network.IsSelf(sender)) return;
        auto location = GatewayLocation(datagram, sender);
        const bool fromGateway = plan_.defaultGateway && sender == *plan_.defaultGateway;
        if (fromGateway && !location) findings_.gatewayMisleads = true;
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
    host::UniqueSocket gateway_;
    host::UniqueSocket group_;
    // A device answers a multicast search within MX (1 s), most at once.
    static constexpr std::chrono::milliseconds kOthersAnswer{200};
    // A router answers a search sent straight to it within some 50 ms, most at once.
    const Deadline groupDue_ = Clock::now() + std::chrono::milliseconds(100);
    bool groupAsked_ = false;
    Deadline othersHeard_ = deadline_;
    SearchFindings findings_;
};

} // namespace

SearchFindings SearchGatewayDevice(const SsdpSearchPlan& plan, Deadline deadline, PortControlProbe* probe)
{
    return Search(plan, deadline, probe).Run();
}

} // namespace gateway
