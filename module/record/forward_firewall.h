// The firewall entries the forwards made, as renew checks and close removes them.
#pragma once

#include <memory>
#include <string>

#include "record/forward_record.h"

// Each entry is the forward's `firewallEntry`, for its port, protocol and family: an
// IPv6 entry is the rule a firewall that keeps one per family holds for that family.
class ForwardFirewall {
public:
    virtual ~ForwardFirewall() = default;
    // Removes the entry only when it carries its name (or the firewall keeps no names);
    // true when no entry of that name is left. A failure's reason is in `problem`, and
    // told as a headline.
    virtual bool Remove(const RecordedForward& forward, std::string& problem) = 0;

    enum class Presence { LetsIn, Missing, Unknown };
    // Whether the entry still lets the port in (a firewall that is off lets everything
    // in), by reading alone: never asks anyone for rights. Unknown where the entries
    // cannot be read so.
    virtual Presence Find(const RecordedForward& forward) = 0;
};

// The firewall's current profile, through the firewall's COM objects.
std::unique_ptr<ForwardFirewall> OpenForwardFirewall();
