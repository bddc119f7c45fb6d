// Ports the local firewall let in over IPv4 but not over IPv6: the forward's IPv6 side
// must not call such a port reachable.
#pragma once

#include <string>
#include <vector>

// `what` says which firewall keeps it closed and what an administrator can do.
void NoteClosedOverIpv6(int port, const std::string& what);

// What was noted for the port, each once, in order; empty when nothing keeps it closed.
std::vector<std::string> ClosedOverIpv6(int port);
