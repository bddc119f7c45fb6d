// ufw, driven through its command: the rules are read from its rules file, and
// changes go through /usr/sbin/ufw, which only root may run; anyone else asks for
// them through pkexec and our helper.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "firewall_manager.h"
#include "process_runner.h"
#include "ufw/ufw_rules.h"

namespace firewall {

struct UfwFiles {
    std::string config = "/etc/ufw/ufw.conf";
    // The IPv4 rules: the addresses the module forwards to are IPv4.
    std::string rules = "/etc/ufw/user.rules";
};

// How a user other than root changes ufw.
struct PkexecRoute {
    std::string helper;                      // the helper's full path
    std::function<Status()> polkitAllows;    // whether polkit may let us, asked without the user
};

class UfwManager final : public FirewallManager {
public:
    // Without a route, ufw is run as it is, as root.
    UfwManager(UfwFiles files, ProcessRunner runner, Deadline deadline, std::optional<PkexecRoute> route = {});

    Status OpenProfile() override;
    bool Enabled() const override { return enabled_; }
    Status FindOpenPort(int port, Protocol protocol, std::string& name) override;
    Status OpenPort(int port, Protocol protocol, const std::wstring& name) override;
    // Deletes the allow rule for the port only when it is under the tool's own name.
    Status ClosePort(int port, Protocol protocol) override;

private:
    // The rule that decides the port, when the rules file holds one; a missing file holds none.
    Status ReadDecidingRule(int port, Protocol protocol, std::optional<UfwRule>& rule);
    Status Run(const std::vector<std::string>& command, const std::string& what);
    bool Ready(const std::string& what) const;

    UfwFiles files_;
    ProcessRunner runner_;
    Deadline deadline_;
    std::optional<PkexecRoute> route_;
    bool enabled_ = false;
};

} // namespace firewall
