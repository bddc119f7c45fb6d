// firewalld over the system bus. A port is opened in the zone of the interface that
// holds the request's internal address, where the gateway sends the traffic; the
// default zone when that interface is bound to none. firewalld keeps no name for an
// open port, and a port of a zone is of no family.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "firewall/firewall_manager.h"
#include "firewall/linux/firewalld/firewalld_answer.h"
#include "firewall/linux/polkit_check.h"
#include "firewall/linux/system_bus.h"
#include "platform/deadline.h"

namespace firewall {

extern const char* const kFirewalldName;

// When the calls end: reading the profile by `reading`, everything by `run`.
struct Deadlines {
    Deadline reading;
    Deadline run;
};

class FirewalldManager final : public FirewallManager {
public:
    FirewalldManager(std::shared_ptr<SystemBus> bus, Deadlines deadlines);

    Status OpenProfile() override;
    bool Enabled() const override { return true; }
    Found FindOpenPort(const PortRequest& request) override;
    // IPv4: lets the port in, or says why not; what no password was given for is left to
    // an administrator, with the commands that do it. IPv6: what lets the port in over
    // IPv4 lets it in there too.
    Opening OpenPort(const PortRequest& request) override;
    // Removes the port from the zone now and from its permanent configuration.
    Status ClosePort(const PortRequest& request) override;

private:
    // `explained`: a headline says why the port was not let in, or it is left to an administrator.
    Status Open(const PortRequest& request, Opening& opening, bool& explained);
    // Why no password could be asked for.
    std::string WhyNoPassword() const;
    // Asks the user through polkit, once, when a change needs a password: only ever
    // before a change.
    bool Authorized();
    Status PortZone(const std::string& internalAddress, std::string& zone);
    Status QueryPort(const std::string& zone, int port, Protocol protocol, bool& open);
    // The rich rule of the zone, now or after a reload, or of a policy into this
    // machine from the zone, that rejects or drops the port; empty when none does.
    Status RefusingRule(const std::string& zone, int port, Protocol protocol, std::string& rule);
    Status RefusingPolicyRule(const std::string& zone, int port, Protocol protocol, std::string& rule);

    template <class... Args>
    Status Call(const BusMethod& method, AlreadyDone already, BusReply& reply, const char* types, Args... args);

    std::shared_ptr<SystemBus> bus_;
    Deadlines deadlines_;
    bool reading_ = true;
    std::string defaultZone_;
    Authorization authorization_ = Authorization::Yes;
    bool promptUnanswered_ = false;  // the question for the user got no answer in time
};

// Whether firewalld holds its name on the bus.
Status FirewalldRunning(SystemBus& bus, Deadline deadline, bool& running);

} // namespace firewall
