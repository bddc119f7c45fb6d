// This machine's firewall, behind one interface: on Linux every firewall manager that
// runs here (firewalld, ufw, else the machine's own nftables rules), on Windows Windows
// Firewall. Each call returns what came of it; nothing is told later.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "firewall/firewall_types.h"

namespace firewall {

// One port of one protocol and family, as the forward and the record name it.
struct PortRequest {
    int port = 0;
    Protocol protocol = Protocol::Tcp;
    Family family = Family::Ipv4;
    std::wstring name;            // the entry's: the tool's own, "HLMX 8080 TCP"
    std::string internalAddress;  // where the gateway sends the port: firewalld opens it in that interface's zone
};

// A port no password could be asked for, and what an administrator runs to let it in:
// told after the last port, one sentence per firewall manager.
struct AdministratorStep {
    enum class Firewall { Firewalld, Ufw } firewall;
    std::string what;  // firewalld: the port, "8080/tcp"; ufw: the whole command
    std::string zone;  // firewalld's zone for it
    std::string why;   // firewalld: why no password prompt was shown
};

struct Opening {
    Status status = Status::Failed;  // Ok: an entry of ours made; AlreadyOpen: one already there lets it in
    std::uint32_t code = 0;          // the platform's status for the developers' line
    std::vector<std::string> closedOverIpv6;  // IPv6: what still keeps it closed there, each naming its firewall
    std::vector<AdministratorStep> leftToAdministrator;
};

class FirewallManager {
public:
    virtual ~FirewallManager() = default;

    // Reads the current profile and makes sure we may change it: AccessDenied when the
    // manager would refuse our changes.
    virtual Status OpenProfile() = 0;
    // Valid after OpenProfile succeeded.
    virtual bool Enabled() const = 0;
    // Ok when Enabled() says what the firewall does; else why that could not be read
    // (AccessDenied: not with our rights), told by the manager itself, and Enabled() is
    // false for want of better: not known to be off.
    virtual Status StateRead() const { return Status::Ok; }
    // Whether its rules stay while it is off, to come back when it is switched on: the
    // tool's own are then removed all the same.
    virtual bool KeepsRulesWhileOff() const { return false; }
    // Whether it keeps a rule per family (ufw); else one entry lets the port in over
    // IPv4 and IPv6 alike.
    virtual bool KeepsFamiliesApart() const { return false; }

    // Ok with the name of the entry that lets the port in (empty where the manager keeps
    // none), NotFound, or why it could not be read (AccessDenied: not with our rights).
    struct Found {
        Status status = Status::NotFound;
        std::string name;
    };
    virtual Found FindOpenPort(const PortRequest& request) = 0;
    // Lets the port in under the request's name, for good, unless an entry already does:
    // over IPv6 only where an entry for IPv4 does not already.
    virtual Opening OpenPort(const PortRequest& request) = 0;
    // Whether the tool's entry under the request's name lets the port in, read only, never
    // asking for rights: Ok, NotFound, or why it could not be read. A manager that keeps
    // no names answers for whatever entry lets the port in.
    virtual Status FindOwnPort(const PortRequest& request);
    // Removes the tool's own entry for the port, and only that: Ok when none of it is
    // left, NotFound when the entry there carries another name (it stays).
    virtual Status ClosePort(const PortRequest& request) = 0;
};

using FirewallFactory = std::function<std::unique_ptr<FirewallManager>()>;

// The machine's firewall as it is now, bounded by the run's deadline; its profile not
// yet opened.
std::unique_ptr<FirewallManager> OpenMachineFirewall();

} // namespace firewall
