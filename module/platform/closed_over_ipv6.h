// Ports the local firewall let in over IPv4 but not over IPv6: the forward's IPv6 side
// must not call such a port reachable.
#pragma once

#include <string>
#include <vector>

// `what` says which firewall keeps it closed and what an administrator can do.
void NoteClosedOverIpv6(int port, const std::string& what);

// What was noted for the port, each once, in order; empty when nothing keeps it closed.
std::vector<std::string> ClosedOverIpv6(int port);

// Where the local firewall keeps one rule per family, lets `port` in over IPv6 too for
// each protocol ("TCP", "UDP") and notes anew what still keeps it closed there. Set by
// the platform whose firewall needs it; elsewhere opening does nothing.
using Ipv6Opener = void (*)(int port, const std::vector<std::string>& protocols);
void SetIpv6Opener(Ipv6Opener opener);
void OpenOverIpv6(int port, const std::vector<std::string>& protocols);

// Drops what was noted for the port, before it is looked at anew.
void ForgetClosedOverIpv6(int port);
