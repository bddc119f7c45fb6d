// The machine's own nftables rules, when no firewall manager runs: read as root
// through `nft -j list ruleset`, never changed. Rules that cannot be read leave the
// firewall's state unread, with a headline that says it could not be checked.
#pragma once

#include <optional>

#include "firewall/firewall_manager.h"
#include "firewall/linux/nftables/nft_ruleset.h"
#include "firewall/linux/process_runner.h"

namespace firewall {

class NftFilter final : public FirewallManager {
public:
    NftFilter(ProcessRunner runner, Deadline deadline);

    Status OpenProfile() override;
    // On when either family's inbound traffic is filtered.
    bool Enabled() const override
    {
        return ruleset_ && (ruleset_->FiltersInput(IpFamily::Ipv4) || ruleset_->FiltersInput(IpFamily::Ipv6));
    }
    Status StateRead() const override { return stateRead_; }
    Status FindOpenPort(int port, Protocol protocol, std::string& name) override;
    // Says why the port is not let in: we add no rule to the administrator's own.
    Status OpenPort(int port, Protocol protocol, const std::wstring& name) override;
    // We add nothing here, so there is nothing of ours to remove.
    Status ClosePort(int, Protocol) override { return Status::Ok; }
    std::string Ipv6Gap(int port, Protocol protocol) override;

private:
    ProcessRunner runner_;
    Deadline deadline_;
    std::optional<NftRuleset> ruleset_;
    Status stateRead_ = Status::Ok;
};

} // namespace firewall
