// Which firewall managers the machine runs: firewalld when it runs, ufw when installed,
// or the machine's own nftables rules where none is on.
#include <unistd.h>

#include <filesystem>
#include <utility>

#include "firewall/firewall_manager.h"
#include "firewall/linux/every_firewall.h"
#include "firewall/linux/firewalld/firewalld_manager.h"
#include "firewall/linux/nftables/nft_filter.h"
#include "firewall/linux/polkit_check.h"
#include "firewall/linux/system_bus.h"
#include "firewall/linux/ufw/ufw_command.h"
#include "firewall/linux/ufw/ufw_helper.h"
#include "firewall/linux/ufw/ufw_manager.h"
#include "firewall/sentences.h"

namespace firewall {
namespace {

// Reading the firewall's state leaves the gateway most of the run, even when the
// system bus hangs; a working bus answers in milliseconds.
constexpr std::chrono::seconds kReadingTime{3};

// The directory of our own program file, where the helper is installed beside us.
std::string OwnDirectory()
{
    std::error_code error;
    return std::filesystem::read_symlink("/proc/self/exe", error).parent_path().string();
}

// Root runs ufw itself; anyone else goes through pkexec and the helper.
std::optional<PkexecRoute> UfwRouteFor(std::shared_ptr<SystemBus> bus, Deadline deadline)
{
    if (::geteuid() == 0) return std::nullopt;
    return PkexecRoute{OwnDirectory() + "/" + kUfwHelperName, [bus, deadline](bool& asksPassword) {
                           if (bus) return PolkitAllows(*bus, kUfwHelperAction, deadline, asksPassword);
                           ReportProblem("no system bus: cannot ask polkit");
                           return Status::AccessDenied;
                       }};
}

// The system bus did not answer in time, so whether firewalld runs is not known: the
// firewall's state is not had.
class UnansweredFirewall final : public FirewallManager {
public:
    Status OpenProfile() override
    {
        Headline(sentence::NoAnswer);
        return Status::TimedOut;
    }
    bool Enabled() const override { return false; }
    Found FindOpenPort(const PortRequest&) override { return {Status::TimedOut, {}}; }
    Opening OpenPort(const PortRequest&) override { return {Status::Failed, StatusCode(Status::Failed), {}, {}}; }
    Status ClosePort(const PortRequest&) override { return Status::Failed; }
};

} // namespace

std::unique_ptr<FirewallManager> OpenMachineFirewall()
{
    const Deadline run = RunDeadline();
    const Deadlines deadlines{Earlier(run, Clock::now() + kReadingTime), run};
    Status status = Status::Ok;
    std::shared_ptr<SystemBus> bus = SystemBus::Connect(deadlines.reading, status);
    bool firewalld = false;
    if (bus) status = FirewalldRunning(*bus, deadlines.reading, firewalld);
    // No bus, or one that refuses us, has no firewalld on it.
    if (status == Status::TimedOut) return std::make_unique<UnansweredFirewall>();

    std::vector<NamedManager> managers;
    if (firewalld) {
        Tell(sentence::FirewalldRuns);
        managers.push_back({"firewalld", std::make_unique<FirewalldManager>(bus, deadlines)});
    }
    if (::access(kUfwProgram, X_OK) == 0) {
        Tell(sentence::UfwInstalled);
        managers.push_back({"ufw", std::make_unique<UfwManager>(UfwFiles{}, RunProcess, run, UfwRouteFor(bus, run))});
    }
    return std::make_unique<EveryFirewall>(std::move(managers), [deadlines] {
        Tell(sentence::OwnRulesLooked);
        return NamedManager{"nftables", std::make_unique<NftFilter>(RunProcess, deadlines.reading)};
    });
}

} // namespace firewall
