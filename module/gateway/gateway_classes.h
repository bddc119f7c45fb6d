// Registers our NAT UPnP class (CLSID_UPnPNAT) with the module's COM runtime.
#pragma once

#include "gateway/gateway_settings.h"

// Every NAT object of the process then shares one gateway session, over by the
// settings' deadline (the run's).
void RegisterGatewayClasses();
void RegisterGatewayClasses(const gateway::GatewaySettings& settings);
