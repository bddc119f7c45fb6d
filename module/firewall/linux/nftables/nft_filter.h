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
        return ruleset_ && (ruleset_->FiltersInput(Family::Ipv4) || ruleset_->FiltersInput(Family::Ipv6));
    }
    Status StateRead() const override { return stateRead_; }
    Found FindOpenPort(const PortRequest& request) override;
    // Says why the port is not let in: we add no rule to the administrator's own. Over
    // IPv6, the chain that drops it is what keeps it closed there.
    Opening OpenPort(const PortRequest& request) override;
    // We add nothing here, so there is nothing of ours to remove.
    Status ClosePort(const PortRequest&) override { return Status::Ok; }

private:
    ProcessRunner runner_;
    Deadline deadline_;
    std::optional<NftRuleset> ruleset_;
    Status stateRead_ = Status::Ok;
};

} // namespace firewall
