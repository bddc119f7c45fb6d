// Windows Firewall through its COM objects, INetFwMgr to INetFwOpenPort: the current
// profile's globally open ports. Its entries have no family: one lets the port in over
// IPv4 and IPv6 alike.
#pragma once

#include <memory>

#include "firewall/firewall_manager.h"

namespace firewall {

std::unique_ptr<FirewallManager> OpenWindowsFirewall();

} // namespace firewall
