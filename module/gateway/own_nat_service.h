// Our own client as a NAT service: the gateway searched for once per run (UPnP IGD, PCP,
// NAT-PMP, from the default gateway only), and a mapping counted only once it is read back.
#pragma once

#include <memory>

#include "gateway/gateway_session.h"
#include "gateway/nat_service.h"

namespace gateway {

// Without a usable gateway its collection is NoCollection, as the Windows service answers;
// the search has told why.
std::unique_ptr<NatService> OwnNatService(GatewaySession& session);

// What the default gateway's UPnP service holds for a mapping another client says it made:
// Made, with the lease and the external address, when it holds exactly that; Failed, with
// the reason on standard error, when it does not or cannot tell (no UPnP there).
NatService::AddAnswer ReadBack(GatewaySession& session, const MappingRequest& request);

} // namespace gateway
