// Windows keeps its open ports of no family (an entry's IP version is always "any"): an
// entry lets the port in over IPv4 and IPv6 alike.
#pragma once

#include <string>
#include <vector>

// Lets `port` in for each protocol ("TCP", "UDP") the firewall, when on, does not let
// in yet, under the tool's own name, and notes what still keeps it closed; the
// protocols whose entry it added. A pinhole opened where the IPv4 forward failed has
// no entry of that forward to go through.
std::vector<std::string> OpenFirewallOverIpv6(int port, const std::vector<std::string>& protocols);
