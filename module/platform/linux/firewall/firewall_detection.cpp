#include "firewall_detection.h"

#include <unistd.h>

#include <filesystem>
#include <utility>

#include "diagnostics.h"
#include "firewalld/firewalld_manager.h"
#include "polkit_check.h"
#include "system_bus.h"
#include "ufw/ufw_command.h"
#include "ufw/ufw_helper.h"
#include "ufw/ufw_manager.h"

namespace firewall {
namespace {

// The directory of our own program file, where the helper is installed beside us.
std::string OwnDirectory()
{
    std::error_code error;
    return std::filesystem::read_symlink("/proc/self/exe", error).parent_path().string();
}

// Root runs ufw itself; anyone else goes through pkexec and the helper.
std::optional<PkexecRoute> UfwRouteFor(std::unique_ptr<SystemBus> bus, Deadline deadline)
{
    if (::geteuid() == 0) return std::nullopt;
    std::shared_ptr<SystemBus> shared(std::move(bus));
    return PkexecRoute{OwnDirectory() + "/" + kUfwHelperName, [shared, deadline] {
                           if (shared) return PolkitAllows(*shared, kUfwHelperAction, Interaction::None, deadline);
                           ReportProblem("no system bus: cannot ask polkit");
                           return Status::AccessDenied;
                       }};
}

} // namespace

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
        return std::make_unique<UfwManager>(UfwFiles{}, RunProcess, deadline, UfwRouteFor(std::move(bus), deadline));
    case ManagerKind::None:
        break;
    }
    UserLine("Neither firewalld nor ufw runs here, so there is no firewall to open.");
    return std::make_unique<NoFirewall>();
}

} // namespace firewall
