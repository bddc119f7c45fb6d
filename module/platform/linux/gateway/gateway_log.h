// Why a gateway step did not work, one line each on standard error: standard output
// carries the module's own diagnostic lines.
#pragma once

#include <string>

namespace gateway {

void GatewayLog(const std::string& line);

} // namespace gateway
