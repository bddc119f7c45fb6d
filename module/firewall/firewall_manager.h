// A firewall the machine runs, behind the firewall classes: firewalld, ufw, or the
// machine's own nftables rules.
#pragma once

#include <memory>
#include <string>

#include "firewall/firewall_types.h"

namespace firewall {

class FirewallManager {
public:
    virtual ~FirewallManager() = default;

    // Reads the current profile and makes sure we may change it: AccessDenied when the
    // manager would refuse our changes.
    virtual Status OpenProfile() = 0;
    // Valid after OpenProfile succeeded.
    virtual bool Enabled() const = 0;
    // Ok when Enabled() says what the firewall does; else why that could not be read
    // (AccessDenied: not with our rights), and Enabled() is false for want of better.
    virtual Status StateRead() const { return Status::Ok; }
    // Whether its rules stay while it is off, to come back when it is switched on: the
    // tool's own are then removed all the same.
    virtual bool KeepsRulesWhileOff() const { return false; }
    // Ok with the rule's name (empty where the manager keeps none), NotFound, or
    // AccessDenied where the rules cannot be read with our rights.
    virtual Status FindOpenPort(int port, Protocol protocol, std::string& name) = 0;
    // Lets the port in under `name`, so that it stays open after a restart too.
    virtual Status OpenPort(int port, Protocol protocol, const std::wstring& name) = 0;
    // Removes the entry the tool made for the port, and only that: Ok when none of it
    // is left. A rule that is not the tool's own stays.
    virtual Status ClosePort(int port, Protocol protocol) = 0;
    // Empty when the port is let in over IPv6 as well, or this firewall is off; else
    // what keeps it closed there and what an administrator can do about it.
    virtual std::string Ipv6Gap(int port, Protocol protocol) = 0;
    // Lets the port in over IPv6 where its IPv4 rule does not already, under `name`.
    // A manager whose rules cover both families has nothing to add.
    virtual Status OpenPortOverIpv6(int /*port*/, Protocol /*protocol*/, const std::wstring& /*name*/)
    {
        return Status::AlreadyOpen;
    }
    // Ok when the tool's own rule over IPv6, under `name`, lets the port in; NotFound,
    // or AccessDenied where the rules cannot be read with our rights.
    virtual Status FindOwnPortOverIpv6(int /*port*/, Protocol /*protocol*/, const std::string& /*name*/)
    {
        return Status::NotFound;
    }
    // Removes the tool's own rule over IPv6 for the port, and only that.
    virtual Status ClosePortOverIpv6(int /*port*/, Protocol /*protocol*/) { return Status::Ok; }
};

} // namespace firewall
