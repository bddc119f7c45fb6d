// What the firewall managers answer, on every platform.
#pragma once

#include <cstdint>
#include <string>

#include "terms.h"

namespace firewall {

enum class Status {
    Ok,
    AlreadyOpen,   // nothing changed: a rule already there lets the port in
    NotFound,      // the port is not open
    AccessDenied,  // the manager refused us for lack of rights
    TimedOut,      // the manager did not answer within our time
    Failed,
};

// The status word of the developers' line for each answer: the value Windows gives the
// same failure, so that the line reads alike on every platform.
std::uint32_t StatusCode(Status status);

// One line on standard error; standard output carries the module's diagnostics only.
void ReportProblem(const std::string& text);

} // namespace firewall
