// Ports the local firewall let in over IPv4 but not over IPv6: the forward's IPv6 side
// must not call such a port reachable.
#pragma once

#include <optional>
#include <string>
#include <vector>

// `what` says which firewall keeps it closed and what an administrator can do.
void NoteClosedOverIpv6(int port, const std::string& what);

// What was noted for the port, each once, in order; empty when nothing keeps it closed.
std::vector<std::string> ClosedOverIpv6(int port);

// The tool's own rule over IPv6, set by the platform: where the local firewall keeps one
// rule per family, with `find` and `remove`; where one entry serves both families, `open`
// alone, and the entry is found and removed as an IPv4 one.
struct Ipv6Rules {
    // Lets `port` in over IPv6 too for each protocol ("TCP", "UDP"), notes anew what
    // still keeps it closed there; the protocols the tool's own rule lets in after.
    std::vector<std::string> (*open)(int port, const std::vector<std::string>& protocols);
    // Whether the rule named `name` still lets the port in (a firewall that is off lets
    // everything in), read only; nothing where the rules cannot be read with our rights.
    std::optional<bool> (*find)(int port, const std::string& protocol, const std::string& name);
    // Removes the tool's own rule for the port, only that: true when none of it is left.
    bool (*remove)(int port, const std::string& protocol);
};
void SetIpv6Rules(const Ipv6Rules& rules);
// Whether the firewall keeps rules over IPv6 apart from those over IPv4.
bool Ipv6RulesOfTheirOwn();

void OpenOverIpv6(int port, const std::vector<std::string>& protocols);
// Whether the tool's own rule let the port in over IPv6 after this run's OpenOverIpv6.
bool OwnRuleOverIpv6(int port, const std::string& protocol);
std::optional<bool> FindOwnRuleOverIpv6(int port, const std::string& protocol, const std::string& name);
bool RemoveOwnRuleOverIpv6(int port, const std::string& protocol);

// Drops what was noted for the port, before it is looked at anew.
void ForgetClosedOverIpv6(int port);
