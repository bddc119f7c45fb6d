#include "firewall_detection.h"

#include <unistd.h>

#include <utility>

#include "diagnostics.h"
#include "firewalld_manager.h"
#include "system_bus.h"
#include "ufw_command.h"
#include "ufw_manager.h"

namespace firewall {

ManagerKind ChooseManager(bool firewalldRunning, bool ufwInstalled)
{
    if (firewalldRunning) return ManagerKind::Firewalld;
    return ufwInstalled ? ManagerKind::Ufw : ManagerKind::None;
}

std::unique_ptr<FirewallManager> DetectFirewallManager()
{
    const Deadline deadline = RunDeadline();
    std::unique_ptr<SystemBus> bus = SystemBus::Connect();
    const bool firewalld = bus != nullptr && FirewalldRunning(*bus, deadline);
    switch (ChooseManager(firewalld, ::access(kUfwProgram, X_OK) == 0)) {
    case ManagerKind::Firewalld:
        UserLine("The firewall here is firewalld.");
        return std::make_unique<FirewalldManager>(std::move(bus), deadline);
    case ManagerKind::Ufw:
        UserLine("The firewall here is ufw.");
        return std::make_unique<UfwManager>(UfwFiles{}, RunProcess, deadline);
    case ManagerKind::None:
        break;
    }
    UserLine("Neither firewalld nor ufw runs here, so there is no firewall to open.");
    return std::make_unique<NoFirewall>();
}

} // namespace firewall
