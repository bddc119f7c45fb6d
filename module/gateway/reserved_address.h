// Addresses that nothing on the Internet can reach: a gateway reporting one of them as
// its external address sits behind another NAT (carrier-grade NAT, a second gateway).
#pragma once

#include "gateway/ipv4_address.h"

namespace gateway {

bool IsReservedAddress(Ipv4 address);

// 100.64.0.0/10, which providers give out behind carrier-grade NAT.
bool IsSharedAddressSpace(Ipv4 address);

} // namespace gateway
