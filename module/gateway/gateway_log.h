// Why a gateway step did not work, one line each on standard error: standard output
// carries the module's own diagnostic lines. Plain facts for the user go to UserLine.
#pragma once

#include <string>

namespace gateway {

void GatewayLog(const std::string& line);

} // namespace gateway
