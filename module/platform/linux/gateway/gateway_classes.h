// Registers our NAT UPnP class (CLSID_UPnPNAT) with the module's COM runtime.
#pragma once

#include <memory>

#include "gateway_settings.h"

// Every NAT object of the process then shares one gateway session, over by the
// settings' deadline (the run's).
void RegisterGatewayClasses();
void RegisterGatewayClasses(const gateway::GatewaySettings& settings);

namespace gateway {
class GatewaySession;
// The session the registered classes share: renew, list and close work on it too, and
// the record learns from it what a forward made. Null before registration.
std::shared_ptr<GatewaySession> RegisteredSession();
} // namespace gateway
