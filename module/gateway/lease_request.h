// AddPortMapping with the lease our forwards ask for: a finite one, renewed while the
// machine wants the port, so that it closes by itself once nobody does (a renewal of the
// system's NAT object's mapping asks for that mapping's own).
#pragma once

#include "gateway/upnp/igd_connection.h"

namespace gateway {

// 0, or the gateway's refusal. A gateway that keeps only leases without an end (725)
// is asked again for one, and the user is told the port then stays until it is closed.
int AddWithLease(const IgdConnection& gateway, const MappingRequest& request, Deadline deadline,
                 long long lease = kAskedLease);

} // namespace gateway
