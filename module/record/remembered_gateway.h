// Where the default gateway's UPnP description was found last, kept beside the record so
// that the next run asks it at once: a router answers a search only after a fixed delay
// of its own. Only a hint: a file that is missing, unreadable or not ours is no more
// than nothing remembered, and nobody is told.
//
//   varneth gateway 1
//   gateway<TAB>location=http://192.168.1.1:5000/rootDesc.xml<TAB>udn=uuid:...
#pragma once

#include "gateway/gateway_settings.h"

// `settings`, with the gateway remembered in the record's folder from run to run (not on
// Windows: see the source).
gateway::GatewaySettings RememberingGateway(gateway::GatewaySettings settings = {});
