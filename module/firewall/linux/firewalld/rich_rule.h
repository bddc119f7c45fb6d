// firewalld's rich rules, as firewalld lists them: which of them refuse a port.
#pragma once

#include <string>

#include "firewall/firewall_types.h"

namespace firewall {

// Whether the rich rule `text` rejects or drops IPv4 traffic to the port from every
// sender: a rule for some senders only (a source) leaves the others let in, and one
// for another port, protocol or family, or that names a service, does not meet it.
bool RichRuleRefuses(const std::string& text, int port, Protocol protocol);

} // namespace firewall
