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

// The first rule that decides whether the port is let in for the protocol from
// anywhere: an allow from anywhere to anywhere on every interface, or a deny or
// reject of incoming traffic from anywhere (on any interface, to any address), which
// ufw meets first and keeps whatever is allowed after it. Nothing when neither is there.
std::optional<UfwRule> FindDecidingRule(const std::vector<UfwRule>& rules, int port, Protocol protocol);

// A deny or reject, with or without logging.
bool IsRefusal(const UfwRule& rule);

// "80", "80,443" or "6000:6007,8080" holds `port`; "any" holds every port.
bool PortListHolds(const std::string& ports, int port);

} // namespace firewall
