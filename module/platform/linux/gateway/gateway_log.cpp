#include "gateway_log.h"

#include <iostream>

namespace gateway {

void GatewayLog(const std::string& line) { std::cerr << "UPnP gateway: " << line << std::endl; }

} // namespace gateway
