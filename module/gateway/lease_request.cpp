#include "gateway/lease_request.h"

#include "diagnostics.h"
#include "gateway/upnp/upnp_errors.h"
#include "record/forward_record.h"

namespace gateway {

int AddWithLease(const IgdConnection& gateway, const MappingRequest& request, Deadline deadline)
{
    const int refusal = gateway.AddPortMapping(request, static_cast<long>(kAskedLease), deadline);
    if (refusal != kOnlyPermanentLeasesSupported) return refusal;
    UserLine("The gateway keeps " + request.protocol + " " + std::to_string(request.externalPort) +
             " only without an end (725 OnlyPermanentLeasesSupported): it stays open until it is closed or the "
             "router restarts.");
    return gateway.AddPortMapping(request, 0, deadline);
}

} // namespace gateway
