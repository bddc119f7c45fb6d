// The tool's own rule over IPv6 in the local firewall: added by the forward's IPv6 side,
// checked by renew, removed by close.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace firewall {

// Lets `port` in over IPv6 for each protocol ("TCP", "UDP") under the tool's own rule
// name, with the machine's firewall managers, and notes anew what still keeps it closed
// there; the protocols the tool's own rule lets in after. Nothing changes where the
// firewall cannot be read.
std::vector<std::string> LetInOverIpv6(int port, const std::vector<std::string>& protocols);

// As Ipv6Rules (platform/closed_over_ipv6.h) has them.
std::optional<bool> FindOwnOverIpv6(int port, const std::string& protocol, const std::string& name);
bool RemoveOwnOverIpv6(int port, const std::string& protocol);

} // namespace firewall
