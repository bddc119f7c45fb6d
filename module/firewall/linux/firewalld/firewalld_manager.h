// firewalld over the system bus. A port is opened in the zone of the interface that
// holds the mapping's internal client, where the gateway sends the traffic; the
// default zone when that interface is bound to none, or no mapping was asked for.
// firewalld keeps no name for an open port.
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
    // Names the commands that let in what no password was given for.
    ~FirewalldManager() override;
    FirewalldManager(const FirewalldManager&) = delete;
    FirewalldManager& operator=(const FirewalldManager&) = delete;

    Status OpenProfile() override;
    bool Enabled() const override { return true; }
    Status FindOpenPort(int port, Protocol protocol, std::string& name) override;
    Status OpenPort(int port, Protocol protocol, const std::wstring& name) override;
    // Removes the port from the zone now and from its permanent configuration.
    Status ClosePort(int port, Protocol protocol) override;
    // A zone's ports are of no family: what lets the port in lets it in over IPv6 too.
    std::string Ipv6Gap(int, Protocol) override { return {}; }

private:
    // `explained`: a headline says why the port was not let in.
    Status Open(int port, Protocol protocol, bool& explained);
    // Asks the user through polkit, once, when a change needs a password: only ever
    // before a change.
    bool Authorized();
    Status PortZone(std::string& zone);
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
    // What is left for the user to run, as "--zone=public --add-port=8080/tcp".
    std::vector<std::string> leftToUser_;
    std::string zone_;
};

// Whether firewalld holds its name on the bus.
Status FirewalldRunning(SystemBus& bus, Deadline deadline, bool& running);

} // namespace firewall
