// The ufw command lines we run and what their outcomes mean.
#pragma once

#include <string>
#include <vector>

#include "firewall_types.h"
#include "process_runner.h"

namespace firewall {

extern const char* const kUfwProgram;

// The environment ufw runs with: messages in English, whatever the user's locale.
std::vector<std::string> UfwEnvironment();

// A rule comment ufw takes as it is: no quotes, no control characters, nothing that
// ufw would read as an option ("--rootdir=..."), and none of the words its parser
// looks for anywhere on the line ("in", "out", "log", "log-all"). Empty when
// nothing usable is left.
std::string CleanUfwName(const std::wstring& name);

// ufw allow <port>/<protocol> [comment <name>]
std::vector<std::string> UfwAllowCommand(int port, Protocol protocol, const std::string& cleanName);

// ufw's refusal of a non-root user becomes AccessDenied, any other trouble Failed or
// TimedOut; the reason goes to standard error under `what`.
Status UfwOutcomeStatus(const ProcessOutcome& outcome, const std::string& what);

} // namespace firewall
