// The ufw command lines we run, and what their outcomes mean.
#pragma once

#include <string>
#include <vector>

#include "firewall/firewall_types.h"
#include "firewall/linux/process_runner.h"
#include "firewall/linux/ufw/ufw_outcome.h"

namespace firewall {

extern const char* const kUfwProgram;

// The environment ufw runs with: messages in English, whatever the user's locale.
std::vector<std::string> UfwEnvironment();

// A rule comment ufw takes as it is: no quotes, no Unicode control or format
// characters (bidirectional overrides among them), nothing that ufw would read as an
// option ("--rootdir=..."), and none of the words its parser looks for anywhere on the
// line ("in", "out", "log", "log-all"). Empty when nothing usable is left.
std::string CleanUfwName(const std::wstring& name);

// ufw allow from 0.0.0.0/0 (or ::/0) to any port <port> proto <protocol> [comment
// <name>]: for one family only. ufw replaces a rule that differs from a new one only in
// action, logging or comment; one of the other family never does, so it stays.
std::vector<std::string> UfwAllowCommand(int port, Protocol protocol, const std::string& cleanName,
                                         Family family = Family::Ipv4);

// ufw allow from ::/0 to any port <port> proto <protocol>: what an administrator runs
// to let the port in over IPv6 as well.
std::vector<std::string> UfwAllowIpv6Command(int port, Protocol protocol);

// ufw delete allow from <0.0.0.0/0|::/0> to any port <port> proto <protocol>: the rule
// of that family alone; "delete allow <port>/<protocol>" would take both families'.
std::vector<std::string> UfwDeleteCommand(int port, Protocol protocol, Family family);

// The command as an administrator types it: "sudo", then each word, quoted where the
// shell needs it.
std::string SudoLine(std::vector<std::string> command);

// ufw's refusal of a non-root user becomes NotAllowed, one that did not finish in time
// Busy, any other trouble Failed; the reason goes to standard error under `what`.
UfwOutcome UfwRunOutcome(const ProcessOutcome& outcome, const std::string& what);

} // namespace firewall
