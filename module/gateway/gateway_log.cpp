#include "gateway/gateway_log.h"

#include "tell.h"

namespace gateway {

void GatewayLog(const std::string& line) { UserLine("UPnP gateway: " + line); }

} // namespace gateway
