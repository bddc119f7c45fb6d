// This machine's firewall, scripted, for every test that goes through one: whether it
// is on, the entries that let ports in and their names, and what a call answers
// instead; every call logged, as "OpenPort TCP 8080 'HLMX 8080 TCP'" (" over IPv6"
// after the port for that family). The managers made over it share it, as the runs of
// the module share the machine's firewall.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "firewall/firewall_manager.h"

struct FakeFirewall {
    explicit FakeFirewall(std::vector<std::string>& log) : calls(log) {}

    firewall::Status state = firewall::Status::Ok;  // what StateRead answers
    bool on = true;
    bool familiesApart = false;
    // The entries that let a port in, by "8080 TCP" (" over IPv6" after it), with the
    // name each keeps.
    std::map<std::string, std::string> entries;
    // What a call answers instead, by the start of its log line: "OpenPort UDP".
    std::map<std::string, firewall::Status> answers;
    std::vector<std::string> gaps;  // what keeps a port closed over IPv6, after an opening there
    std::vector<std::string>& calls;

    // A manager over this firewall; the factory's logs "OpenFirewall" as it makes one.
    std::unique_ptr<firewall::FirewallManager> Manager();
    firewall::FirewallFactory Factory();
};
