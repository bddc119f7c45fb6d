// firewalld over the system bus. A port is opened in the zone of the interface that
// holds the mapping's internal client, where the gateway sends the traffic; the
// default zone when that interface is bound to none, or no mapping was asked for.
// firewalld keeps no name for an open port, so the name of an entry is not kept anywhere.
#pragma once

#include <memory>
#include <string>

#include "firewall_manager.h"
#include "firewalld/firewalld_answer.h"
#include "system_bus.h"
#include "platform/deadline.h"

namespace firewall {

extern const char* const kFirewalldName;

class FirewalldManager final : public FirewallManager {
public:
    FirewalldManager(std::unique_ptr<SystemBus> bus, Deadline deadline);

    Status OpenProfile() override;
    bool Enabled() const override { return true; }
    Status FindOpenPort(int port, Protocol protocol, std::string& name) override;
    Status OpenPort(int port, Protocol protocol, const std::wstring& name) override;

private:
    Status PortZone(std::string& zone);

    template <class... Args>
    Status Call(const BusMethod& method, AlreadyDone already, BusReply& reply, const char* types, Args... args);

    std::unique_ptr<SystemBus> bus_;
    Deadline deadline_;
    std::string defaultZone_;
};

// Whether firewalld holds its name on the bus.
bool FirewalldRunning(SystemBus& bus, Deadline deadline);

} // namespace firewall
