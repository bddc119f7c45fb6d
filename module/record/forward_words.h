// How renew, list and close name a forward in their sentences.
#pragma once

#include <string>

#include "record/forward_record.h"

// "TCP 8080 to 192.168.1.5 (UPnP)"
std::string Subject(const RecordedForward& forward);

// "held for 7200 s", "held until the router restarts"
std::string LeaseWords(long long lifetime);

// How an administrator removes the firewall entry the tool made for `forward`, where the
// tool could not: a command for this system's firewall.
std::string FirewallEntryRemoval(const RecordedForward& forward);
