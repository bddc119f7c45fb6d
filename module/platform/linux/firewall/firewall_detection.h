// Which firewall manager the machine runs.
#pragma once

#include <memory>

#include "firewall_manager.h"

namespace firewall {

enum class ManagerKind { Firewalld, Ufw, None };

// firewalld when it runs (it may sit on top of an installed ufw), else ufw when
// installed, else none.
ManagerKind ChooseManager(bool firewalldRunning, bool ufwInstalled);

// Looks at the machine and makes the manager, bounded by the run's deadline.
std::unique_ptr<FirewallManager> DetectFirewallManager();

} // namespace firewall
