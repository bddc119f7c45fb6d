// One request to the gateway's UDP port 5351 (PCP or NAT-PMP) and its answer, a step at
// a time, so that both probes and the SSDP search can share one wait.
#pragma once

#include <initializer_list>
#include <optional>

#include "gateway/host/socket.h"
#include "gateway/ipv4_address.h"
#include "gateway/ipv6_address.h"
#include "platform/deadline.h"

namespace gateway {

constexpr unsigned short kPortControlPort = 5351;
// Datagrams read in one step at most, so that a gateway flooding us cannot hold the wait.
constexpr int kDatagramsPerStep = 64;

inline constexpr std::chrono::milliseconds kFirstResend{250};

class Exchange {
public:
    enum class State {
        Waiting,
        Answered,
        Closed, // nothing listens on the port, or the server speaks another protocol
    };

    virtual ~Exchange() = default;

    virtual host::SocketHandle Socket() const = 0;
    // When the request goes out again if no answer has come by then; never once it is over.
    Deadline NextResend() const { return state_ == State::Waiting ? nextResend_ : Deadline::max(); }
    // Reads whatever arrived, and sends the request again when it is time.
    void Serve();

    State Progress() const { return state_; }

protected:
    // Sends the request, now and at each resend.
    void Send();

    State state_ = State::Waiting;

private:
    // False when the request could not go out.
    virtual bool SendRequest() = 0;
    // Takes the datagrams that arrived, changing the state when one is the answer.
    virtual void Read() = 0;

    // The first resend after kFirstResend, then each after twice the wait before: a lost
    // datagram on a LAN costs little, and a run has a few seconds in all.
    Clock::duration interval_ = kFirstResend;
    Deadline nextResend_ = Clock::now();
};

// A UDP socket connected to `gatewayAddress`'s port 5351, so that only its datagrams
// arrive, sending from `from` when given; closed, with the reason on standard error,
// when that cannot be done.
host::UniqueSocket ConnectToPortControl(Ipv4 gatewayAddress, std::optional<Ipv4> from);
// The same toward an IPv6 gateway (`scope`: its interface, for a link-local address),
// sending from `from`.
host::UniqueSocket ConnectToPortControl(const Ipv6& ipv6Gateway, std::uint32_t scope, const Ipv6& from);

// The address of this machine that a datagram to `gatewayAddress` goes out from.
std::optional<Ipv4> SourceAddressToward(Ipv4 gatewayAddress);

// Serves the exchanges until none of them waits or the deadline has come.
void Await(std::initializer_list<Exchange*> exchanges, Deadline deadline);

} // namespace gateway
