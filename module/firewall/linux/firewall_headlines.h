// The headlines the firewall classes write: what went wrong with this machine's
// firewall and what to do next, the same sentence for TCP and UDP.
#pragma once

#include <string>

namespace firewall {

// The firewall's state could not be read in time (the system bus or the manager hung).
void HeadlineNoAnswer();

// polkit said no to changing the firewall.
void HeadlineNotAllowed();

// An administrator's rule of `manager` refuses the port, which we leave as it is.
void HeadlinePortRefused(const std::string& manager, int port);

// `manager` hung or failed while letting the port in.
void HeadlinePortNotOpened(const std::string& manager, int port, bool timedOut);

} // namespace firewall
