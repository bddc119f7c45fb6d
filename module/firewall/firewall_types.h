// What the firewall managers answer, independent of COM.
#pragma once

#include <string>

namespace firewall {

enum class Status {
    Ok,
    AlreadyOpen,   // nothing changed: a rule already there lets the port in
    NotFound,      // the port is not open
    AccessDenied,  // the manager refused us for lack of rights
    TimedOut,      // the manager did not answer within our time
    Failed,
};

enum class Protocol { Tcp, Udp };

// "tcp" or "udp", the way both managers spell it.
inline const char* ProtocolName(Protocol protocol) { return protocol == Protocol::Tcp ? "tcp" : "udp"; }

// The address family a rule lets the port in for, where a manager keeps one rule each.
enum class Family { Ipv4, Ipv6 };

// "ipv4" or "ipv6", as the ufw helper takes it.
inline const char* FamilyName(Family family) { return family == Family::Ipv4 ? "ipv4" : "ipv6"; }

// The name Kavro's forwards give the entries they make: "HLMX 8080 TCP". A rule under
// another name is someone else's and is never removed.
inline std::string OwnRuleName(int port, Protocol protocol)
{
    return "HLMX " + std::to_string(port) + (protocol == Protocol::Tcp ? " TCP" : " UDP");
}

// One line on standard error; standard output carries the module's diagnostics only.
void ReportProblem(const std::string& text);

} // namespace firewall
