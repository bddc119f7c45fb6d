// The rules ufw keeps in /etc/ufw/user.rules (IPv4) and user6.rules (IPv6), one
// "### tuple ###" line per rule.
#pragma once

#include <string>
#include <vector>

#include "firewall/firewall_types.h"

namespace firewall {

struct UfwRule {
    std::string action;     // allow, deny, reject, limit, with _log / _log-all, route: for routed rules
    std::string protocol;   // tcp, udp, any, ...
    std::string ports;      // destination ports: any, 80, 80,443, 6000:6007
    std::string to;         // destination address
    std::string fromPorts;  // source ports
    std::string from;       // source address
    std::string direction;  // in, out, in_eth0, ...
    std::string comment;    // decoded from the hex ufw stores
};

std::vector<UfwRule> ParseUfwRules(const std::string& rulesText);

enum class UfwVerdict {
    Undecided,  // no rule of the administrator's decides the port: ours may be added
    LetIn,      // an allow or a limit, logged or not, lets the port in on IPv4 already
    Refused,    // a deny or reject of either family stands for the port
};

struct UfwDecision {
    UfwVerdict verdict = UfwVerdict::Undecided;
    UfwRule rule;       // the deciding rule, unless Undecided
    bool ipv6 = false;  // the rule is one of user6.rules
};

// What the rules already there say of the port for the protocol, from anywhere. On
// IPv4 the first rule that lets it in or refuses it decides, as ufw meets them in
// order; failing that, a refusal on IPv6 stands too. Rules of a single source address
// decide nothing for everyone else.
UfwDecision DecidePort(const std::vector<UfwRule>& ipv4, const std::vector<UfwRule>& ipv6, int port,
                       Protocol protocol);

// What user6.rules say of the port over IPv6: the first rule that lets it in or
// refuses it, from anywhere.
UfwDecision DecideIpv6(const std::vector<UfwRule>& ipv6, int port, Protocol protocol);

// Whether the family's rules hold the rule the tool adds for the port, under `name`:
// an allow of exactly that port and protocol from anywhere, wherever it stands.
bool HoldsOwnRule(const std::vector<UfwRule>& rules, int port, Protocol protocol, Family family,
                  const std::string& name);

// "80", "80,443" or "6000:6007,8080" holds `port`; "any" holds every port.
bool PortListHolds(const std::string& ports, int port);

} // namespace firewall
