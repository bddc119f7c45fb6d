// What the firewall managers answer, independent of COM.
#pragma once

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

// One line on standard error; standard output carries the module's diagnostics only.
void ReportProblem(const std::string& text);

} // namespace firewall
