// A gateway's HTTP side on 127.0.0.1: the root description and the SOAP actions the
// NAT classes call, with answers the test chooses; or a gateway that hangs or trickles.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "loopback_server.h"

struct FakeIgdConfig {
    // Trickle: a byte every 100 ms; Endless: a description with no end, as fast as it goes.
    enum class Behaviour { Answer, Hang, Trickle, Endless };
    Behaviour behaviour = Behaviour::Answer;
    bool isGateway = true; // false: describes a media server
    std::string urlBase;   // URLBase of the description, when not empty
    std::string connectionStatus = "Connected";
    // When set, a WANPPPConnection listed before the WANIPConnection, with this status.
    std::optional<std::string> pppStatus;
    std::string externalAddress = "11.77.0.1";
    int addError = 0; // UPnP error code for AddPortMapping, 0 for success
    // GetSpecificPortMappingEntry: what the gateway claims to hold; by default the
    // last mapping added, or error 714 when there is none. A held client answers even
    // for a port refused to us, as for one another client holds.
    std::optional<std::string> heldClient;
    std::string heldLease = "0";
    bool heldEnabled = true;
    bool holdsNothing = false;
};

struct SoapCall {
    std::string path; // of the control URL
    std::string action;
    std::map<std::string, std::string> arguments; // <NewX>value</NewX>
};

class FakeIgd {
public:
    explicit FakeIgd(FakeIgdConfig config);

    std::string Location() const; // http://127.0.0.1:<port>/rootDesc.xml
    std::vector<SoapCall> Calls() const;
    int CallsOf(const std::string& action) const;

private:
    void Serve();
    void Handle(int connection);
    std::string Answer(const SoapCall& call); // records the call, answers as configured

    const FakeIgdConfig config_;
    UniqueFd listener_;
    std::uint16_t port_ = 0;
    mutable std::mutex mutex_;
    std::vector<SoapCall> calls_;
    std::map<std::string, std::string> added_; // arguments of the last AddPortMapping
    LoopbackThread thread_;
};
