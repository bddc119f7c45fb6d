// Windows keeps its open ports of no family (an entry's IP version is always "any"):
// what the firewall lets in over IPv4 it lets in over IPv6 too, and what it does not
// let in stays closed on both.
#pragma once

#include <string>
#include <vector>

// Adds nothing: notes each protocol ("TCP", "UDP") of `port` the firewall, when on,
// does not let in, or that it could not be read. No rule of its own over IPv6: none.
std::vector<std::string> NoteFirewallOverIpv6(int port, const std::vector<std::string>& protocols);
