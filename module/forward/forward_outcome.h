// What one forward did, per protocol and family, as a value: the command hands it to the
// record and the report, and the IPv6 step adds its own ports to it.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "firewall/firewall_manager.h"
#include "gateway/grant.h"
#include "terms.h"

// What became of one port in this machine's firewall.
struct FirewallStep {
    enum class Kind {
        NotAsked,    // not mapped, or the firewall could not be read at all
        Off,         // the firewall is off: nothing to let in
        Unread,      // whether it is on could not be read: nothing was let in
        AlreadyOpen, // an entry of any name lets it in already
        Opened,      // this forward made the entry `entryName`, ours to remove
        Refused,     // the firewall did not let it in, for `status`
    } kind = Kind::NotAsked;
    firewall::Status status = firewall::Status::Ok;
    std::string entryName;
};

struct PortOutcome {
    Protocol protocol = Protocol::Tcp;
    Family family = Family::Ipv4;
    std::optional<gateway::Grant> grant; // the mapping or pinhole, as the gateway granted it
    FirewallStep firewall;
};

struct ForwardOutcome {
    std::vector<PortOutcome> ports; // TCP before UDP, IPv4 before IPv6
    bool profileObtained = false;
    bool firewallOn = false;
    std::vector<firewall::Opening> openings; // what the firewall answered, port by port: what is left to an administrator
};

// Who keeps a forward's ports open once it is over: nobody (it is not recorded), this
// machine's renewal, or the same while this machine is on the router's network of the
// other device the forward is for.
enum class Renewal { None, ThisMachine, AnotherDevice };

// The shortest lease of the IPv4 mappings granted, 0 being none at all; nothing when none
// was granted, or when one did not say.
std::optional<long long> ShortestLease(const ForwardOutcome& outcome);
