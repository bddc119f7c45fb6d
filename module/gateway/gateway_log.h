// Why a gateway step did not work, one line each on standard error: standard output
// carries the module's own diagnostic lines. Sentences for people go through tell.h.
#pragma once

#include <string>

namespace gateway {

void GatewayLog(const std::string& line);

} // namespace gateway
