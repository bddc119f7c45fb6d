// Registers the firewall classes (CLSID_NetFwMgr, CLSID_NetFwOpenPort) with the
// module's COM runtime.
#pragma once

#include "firewall/linux/net_fw_mgr.h"

// With the machine's own firewall manager, looked up per profile.
void RegisterFirewallClasses();

// With managers from `factory` (tests).
void RegisterFirewallClasses(firewall::ManagerFactory factory);
