// The privileged helper that lets a user other than root open a port in ufw: pkexec
// runs it as root, once polkit lets the user. It takes nothing but what Kavro sends.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "firewall_types.h"
#include "process_runner.h"

namespace firewall {

extern const char* const kPkexecProgram;
extern const char* const kUfwHelperName;
// The helper's own polkit action; its message names the port and protocol.
extern const char* const kUfwHelperAction;

// pkexec <helper> <port> <tcp|udp> [<clean name>]
std::vector<std::string> PkexecUfwAllowCommand(const std::string& helper, int port, Protocol protocol,
                                               const std::string& cleanName);

// pkexec <helper> delete <port> <tcp|udp>
std::vector<std::string> PkexecUfwDeleteCommand(const std::string& helper, int port, Protocol protocol);

struct HelperRequest {
    bool remove = false; // "delete": the tool's own rule for the port goes
    int port = 0;
    Protocol protocol = Protocol::Tcp;
    std::wstring name;
};

// The helper's arguments: a port 1-65535 in plain digits, "tcp" or "udp", and a name
// ufw may take as it is (unchanged by cleaning, at most kMaxHelperNameBytes), or
// none; or "delete", a port and a protocol; nothing for anything else.
constexpr std::size_t kMaxHelperNameBytes = 64;
std::optional<HelperRequest> ReadHelperArguments(const std::vector<std::string>& arguments);

// pkexec's refusal (not authorized, cancelled, no agent) becomes AccessDenied; what
// the helper answers is read as ufw's answer.
Status PkexecOutcomeStatus(const ProcessOutcome& outcome, const std::string& what);

} // namespace firewall
