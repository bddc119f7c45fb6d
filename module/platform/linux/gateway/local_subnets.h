// Whether an address is on one of this host's own IPv4 subnets, where a gateway that
// answers our search must be.
#pragma once

#include "ipv4_address.h"

namespace gateway {

bool IsOnLocalSubnet(Ipv4 address);

} // namespace gateway
