// Lets a port in through this machine's firewall, over whichever manager the platform
// gives: the forward's profile, its ports, and the IPv6 side's own entries.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "firewall/firewall_manager.h"
#include "tell.h"

struct FirewallState {
    std::unique_ptr<firewall::FirewallManager> Manager;
    bool ProfileObtained = false;
    bool FirewallOn = false;
};

// Opens the profile of the manager the caller made; the status of that.
firewall::Status OpenFirewallProfile(FirewallState& state);

// Only a firewall whose state could be read, and that is on, counts as on.
bool IsFirewallOn(const firewall::FirewallManager& manager);

// Lets the request's port in, unless an entry already does: then AlreadyOpen, and
// nothing is added.
firewall::Opening OpenFirewallPort(firewall::FirewallManager& manager, const firewall::PortRequest& request);

// One headline per firewall manager that left ports to an administrator, naming what
// to run for them all; none where every port could be asked for.
std::vector<Told> LeftToAdministrator(const std::vector<firewall::Opening>& openings);

// After the gateway opened `port` over IPv6 for `protocols`: the firewall's own IPv6
// entries, where it keeps them apart, under the tool's names, through a manager made
// and opened now.
struct FirewallOverIpv6 {
    std::vector<std::wstring> entriesMade;  // ours, to be recorded with the pinholes
    std::vector<std::string> closed;        // what keeps the port closed over IPv6 all the same
};
FirewallOverIpv6 OpenFirewallOverIpv6(const firewall::FirewallFactory& firewall, int port,
                                      const std::vector<Protocol>& protocols, const std::string& internalAddress);
