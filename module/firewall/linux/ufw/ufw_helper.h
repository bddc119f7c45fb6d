// The privileged helper that lets a user other than root open a port in ufw: pkexec
// runs it as root, once polkit lets the user. It takes nothing but what Kavro sends,
// and answers by its exit status alone.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "firewall/firewall_types.h"
#include "firewall/linux/process_runner.h"
#include "firewall/linux/ufw/ufw_outcome.h"

namespace firewall {

extern const char* const kPkexecProgram;
extern const char* const kUfwHelperName;
// The helper's own polkit action; its message names the port and protocol.
extern const char* const kUfwHelperAction;

// <helper> <port> <tcp|udp> <ipv4|ipv6> [<clean name>]
std::vector<std::string> UfwHelperCommand(const std::string& helper, int port, Protocol protocol, Family family,
                                          const std::string& cleanName);

// The helper's command under pkexec, without pkexec's text agent: only the desktop's
// agent may ask for a password, never a terminal.
std::vector<std::string> PkexecUfwAllowCommand(const std::string& helper, int port, Protocol protocol, Family family,
                                               const std::string& cleanName);

// pkexec --disable-internal-agent <helper> delete <port> <tcp|udp> <ipv4|ipv6>
std::vector<std::string> PkexecUfwDeleteCommand(const std::string& helper, int port, Protocol protocol,
                                                Family family);

struct HelperRequest {
    bool remove = false; // "delete": the tool's own rule for the port goes
    int port = 0;
    Protocol protocol = Protocol::Tcp;
    Family family = Family::Ipv4;
    std::wstring name;
};

// The helper's arguments: a port 1-65535 in plain digits, "tcp" or "udp", "ipv4" or
// "ipv6", and a name ufw may take as it is (unchanged by cleaning, at most
// kMaxHelperNameBytes), or none; or "delete", a port, a protocol and a family; nothing
// for anything else.
constexpr std::size_t kMaxHelperNameBytes = 64;
std::optional<HelperRequest> ReadHelperArguments(const std::vector<std::string>& arguments);

// What pkexec and the helper answered: pkexec's refusal (no agent, not authorized,
// cancelled) or the helper's exit status. The reason goes to standard error under `what`.
UfwOutcome PkexecOutcome(const ProcessOutcome& outcome, const std::string& what);

} // namespace firewall
