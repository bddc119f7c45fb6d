#include "gateway/gateway_log.h"
#include "gateway/sentences.h"

#include "tell.h"

namespace gateway {

void GatewayLog(const std::string& line) { Tell(sentence::UpnpDetail, {{"detail", line}}); }

} // namespace gateway
