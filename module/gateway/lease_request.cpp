#include "gateway/lease_request.h"
#include "gateway/sentences.h"

#include "tell.h"
#include "gateway/upnp/upnp_errors.h"

namespace gateway {

int AddWithLease(const IgdConnection& gateway, const MappingRequest& request, Deadline deadline, long long lease)
{
    const int refusal = gateway.AddPortMapping(request, static_cast<long>(lease), deadline);
    if (lease == 0 || refusal != kOnlyPermanentLeasesSupported) return refusal;
    Tell(sentence::PermanentOnly,
         {{"subject", std::string(Name(request.protocol)) + " " + std::to_string(request.externalPort)}});
    return gateway.AddPortMapping(request, 0, deadline);
}

} // namespace gateway
