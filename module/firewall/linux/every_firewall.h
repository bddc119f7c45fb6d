// Every firewall manager that runs here, asked in turn: the port is let in only when
// each manager that is on lets it in. Where none is on, the machine's own packet
// filter may still be: it is asked then.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "firewall/firewall_manager.h"

namespace firewall {

struct NamedManager {
    std::string name;  // as the user knows it: "ufw", "firewalld"
    std::unique_ptr<FirewallManager> manager;
};

class EveryFirewall final : public FirewallManager {
public:
    using Fallback = std::function<NamedManager()>;

    EveryFirewall(std::vector<NamedManager> managers, Fallback whenNoneIsOn);

    // The first manager that fails decides: the profile is not had then.
    Status OpenProfile() override;
    bool Enabled() const override { return !on_.empty(); }
    // Where none is on, the first that could not tell.
    Status StateRead() const override;
    // Where any of them does (ufw): the others answer for both families.
    bool KeepsFamiliesApart() const override;
    // Ok only when every manager that is on lets the port in; the first name any keeps.
    Found FindOpenPort(const PortRequest& request) override;
    // IPv4: each manager that does not let the port in yet is asked to, even after one
    // failed; the first failure is the answer, AlreadyOpen when none added anything.
    // IPv6: each that is on and keeps the port closed there is asked to let it in: Ok
    // when one added its rule, else the first failure, or AlreadyOpen; what still keeps
    // it closed is named for each firewall.
    Opening OpenPort(const PortRequest& request) override;
    // IPv6: ours is looked for where a manager that is on keeps its own rule for it.
    Status FindOwnPort(const PortRequest& request) override;
    // Each manager that is on, or keeps its rules while off, removes what it holds of
    // ours (IPv6: those that keep a rule per family); the first failure is the answer.
    Status ClosePort(const PortRequest& request) override;

private:
    Opening OpenOverIpv4(const PortRequest& request);
    Opening OpenOverIpv6(const PortRequest& request);

    std::vector<NamedManager> managers_;
    Fallback whenNoneIsOn_;
    std::vector<NamedManager*> on_;
};

} // namespace firewall
