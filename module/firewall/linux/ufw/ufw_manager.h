// ufw, driven through its command: the rules are read from its rules files, and
// changes go through /usr/sbin/ufw, which only root may run; anyone else asks for
// them through pkexec and our helper. Every rule already there stays as it is.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "firewall/firewall_manager.h"
#include "firewall/linux/process_runner.h"
#include "firewall/linux/ufw/ufw_outcome.h"
#include "firewall/linux/ufw/ufw_rules.h"

namespace firewall {

struct UfwFiles {
    std::string config = "/etc/ufw/ufw.conf";
    std::string rules = "/etc/ufw/user.rules";
    std::string rules6 = "/etc/ufw/user6.rules";
};

// How a user other than root changes ufw.
struct PkexecRoute {
    std::string helper;                      // the helper's full path
    // Whether polkit may let us, asked without the user; `asksPassword`: only once a
    // person gives an administrator's password, which pkexec then asks for.
    std::function<Status(bool& asksPassword)> polkitAllows;
};

class UfwManager final : public FirewallManager {
public:
    // Without a route, ufw is run as it is, as root.
    UfwManager(UfwFiles files, ProcessRunner runner, Deadline deadline, std::optional<PkexecRoute> route = {});

    Status OpenProfile() override;
    bool Enabled() const override { return enabled_; }
    // ufw switched off keeps its rules files, read back when it is switched on.
    bool KeepsRulesWhileOff() const override { return configured_; }
    // Each rule is of one family: only an allow in user6.rules, ours or an
    // administrator's, lets the port in over IPv6.
    bool KeepsFamiliesApart() const override { return true; }
    Found FindOpenPort(const PortRequest& request) override;
    // IPv4: opens the port and tells the user, in a headline, why it did not; what no
    // password dialog could let in is left to an administrator, with the command that
    // does it. IPv6: adds our rule to user6.rules unless a rule there already decides
    // the port; what still keeps it closed there says why not.
    Opening OpenPort(const PortRequest& request) override;
    // ufw keeps one rule per port, protocol and family, under the last comment given.
    Status FindOwnPort(const PortRequest& request) override;
    // Deletes the family's allow rule for the port only when it is under the tool's own name.
    Status ClosePort(const PortRequest& request) override;

    // Opens the port for the family, unless a rule already there decides it, and says
    // what came of it.
    UfwOutcome Open(int port, Protocol protocol, const std::string& cleanName, Family family = Family::Ipv4);
    // Deletes the family's allow rule for the port when it is under the tool's own name.
    UfwOutcome Close(int port, Protocol protocol, Family family);

private:
    // Whether we may read the rules files: root always, anyone else where they allow it.
    bool RulesReadable() const;
    // The outcome when a rule already there decides the port, or nothing.
    std::optional<UfwOutcome> Decided(int port, Protocol protocol, Family family);
    // IPv4: the first rule of user.rules, else an IPv6 refusal; IPv6: user6.rules alone.
    Status ReadDecision(int port, Protocol protocol, Family family, UfwDecision& decision);
    UfwOutcome Run(const std::vector<std::string>& command, const std::string& what);
    UfwOutcome AskHelper(int port, Protocol protocol, Family family, const std::string& cleanName);
    UfwOutcome AskHelperToDelete(int port, Protocol protocol, Family family);
    // pkexec running the helper; where it asks a person for a password, the run's deadline
    // waits meanwhile, and a prompt past the password wait ends with pkexec.
    UfwOutcome RunHelper(const std::vector<std::string>& command, const std::string& what);
    // Empty when the port is let in over IPv6 as well, or ufw is off; else what keeps it
    // closed there and what an administrator can do about it.
    std::string Ipv6Gap(int port, Protocol protocol);
    // What an administrator can run to finish the job where no password dialog can.
    std::string FinishCommand(int port, Protocol protocol, const std::string& cleanName) const;
    bool Ready(const std::string& what) const;

    UfwFiles files_;
    ProcessRunner runner_;
    Deadline deadline_;
    std::optional<PkexecRoute> route_;
    bool enabled_ = false;
    bool configured_ = false;
    bool asksPassword_ = false;
    bool passwordTold_ = false;  // the window knows a person may be asked
};

} // namespace firewall
