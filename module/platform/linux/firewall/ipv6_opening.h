// The forward's IPv6 side asks the local firewall to let a port in over IPv6 too.
#pragma once

#include <string>
#include <vector>

namespace firewall {

// Lets `port` in over IPv6 for each protocol ("TCP", "UDP") under the tool's own rule
// name, with the machine's firewall managers, and notes anew what still keeps it closed
// there. Nothing changes where the firewall cannot be read.
void LetInOverIpv6(int port, const std::vector<std::string>& protocols);

} // namespace firewall
