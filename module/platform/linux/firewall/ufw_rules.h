// The rules ufw keeps in /etc/ufw/user.rules, one "### tuple ###" line per rule.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "firewall_types.h"

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

// An allow rule that lets the port in for the protocol from anywhere to anywhere on
// every interface; the first one, if any.
std::optional<UfwRule> FindOpeningRule(const std::vector<UfwRule>& rules, int port, Protocol protocol);

// "80", "80,443" or "6000:6007,8080" holds `port`; "any" holds every port.
bool PortListHolds(const std::string& ports, int port);

} // namespace firewall
