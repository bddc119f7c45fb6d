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
    // Ok only when every manager that is on lets the port in; the first name any keeps.
    Status FindOpenPort(int port, Protocol protocol, std::string& name) override;
    // Each manager that does not let the port in yet is asked to, even after one
    // failed; the first failure is the answer, AlreadyOpen when none added anything.
    Status OpenPort(int port, Protocol protocol, const std::wstring& name) override;
    // Each manager that is on removes what it holds of ours; the first failure is the answer.
    Status ClosePort(int port, Protocol protocol) override;
    // The gaps of each that is on, each named for its firewall.
    std::string Ipv6Gap(int port, Protocol protocol) override;
    // Each manager that is on and keeps the port closed over IPv6 is asked to let it in:
    // Ok when one added its rule, else the first failure, or AlreadyOpen.
    Status OpenPortOverIpv6(int port, Protocol protocol, const std::wstring& name) override;
    // Ok when a manager that is on holds it.
    Status FindOwnPortOverIpv6(int port, Protocol protocol, const std::string& name) override;
    // Each manager that is on removes it; the first failure is the answer.
    Status ClosePortOverIpv6(int port, Protocol protocol) override;

private:
    Status EachCloses(Status (FirewallManager::*close)(int, Protocol), int port, Protocol protocol);

    std::vector<NamedManager> managers_;
    Fallback whenNoneIsOn_;
    std::vector<NamedManager*> on_;
};

} // namespace firewall
