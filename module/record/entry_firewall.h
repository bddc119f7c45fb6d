// The firewall entries the forwards made, as renew checks and close removes them.
#pragma once

#include <optional>
#include <string>

#include "firewall/firewall_opener.h"
#include "record/forward_record.h"
#include "tell.h"

// Each entry is the forward's `firewallEntry`, for its port, protocol and family: an
// IPv6 entry is the rule a firewall that keeps one per family holds for that family.
// The firewall is opened when an entry is first asked about.
class EntryFirewall {
public:
    explicit EntryFirewall(firewall::FirewallFactory firewall);

    // Removes the entry only when it carries its name (or the firewall keeps no names);
    // true when no entry of that name is left. A failure's reason is in `problem`, and
    // told as a headline.
    bool Remove(const RecordedForward& forward, std::optional<Told>& problem);

    enum class Presence { LetsIn, Missing, Unknown };
    // Whether the entry still lets the port in (a firewall that is off lets everything
    // in), by reading alone: never asks anyone for rights. Unknown where the entries
    // cannot be read so.
    Presence Find(const RecordedForward& forward);

private:
    // Whether the forward's entry is the firewall's own rule for IPv6.
    bool OwnIpv6Rule(const RecordedForward& forward);
    bool Opened();

    firewall::FirewallFactory factory_;
    FirewallState firewall_;
    bool tried_ = false;
};
