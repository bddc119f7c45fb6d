// Which firewall managers the machine runs.
#pragma once

#include <memory>

#include "firewall/firewall_manager.h"

namespace firewall {

// Looks at the machine and makes a manager for every firewall manager found (firewalld
// when it runs, ufw when installed), or for the machine's own nftables rules where
// none is on; bounded by the run's deadline.
std::unique_ptr<FirewallManager> DetectFirewallManager();

} // namespace firewall
