// Runs a program with its arguments passed directly (no shell), collects what it
// writes to standard output and standard error, and ends it when it overstays.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/deadline.h"

namespace firewall {

struct ProcessOutcome {
    enum class End { Exited, Signaled, TimedOut, NotStarted };
    End end = End::NotStarted;
    int exitCode = -1;    // for Exited
    int startError = 0;   // errno for NotStarted
    std::string output;   // standard output and standard error, in order, at most kMaxOutput bytes
    bool cut = false;     // the program wrote more: `output` is not all of it
};

// Room for the largest ruleset nft prints that we read (a blocklist of half a million
// addresses), while what we make of it stays within the module's memory.
constexpr std::size_t kMaxOutput = 8 * 1024 * 1024;

// argv[0] is the program's full path; `environment` is the child's whole environment.
// The child runs in a session and process group of its own, without a controlling
// terminal; the group is ended once the child is done or at `deadline`; the child
// also dies with us, and at `deadline` by itself.
ProcessOutcome RunProcess(const std::vector<std::string>& argv, const std::vector<std::string>& environment,
                          Deadline deadline);

using ProcessRunner = std::function<ProcessOutcome(const std::vector<std::string>& argv,
                                                   const std::vector<std::string>& environment,
                                                   Deadline deadline)>;

} // namespace firewall
