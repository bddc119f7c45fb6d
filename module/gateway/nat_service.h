// One way to the gateway's static port mappings, as Varneth asks it: Windows' own NAT
// object first there, then our own client, which is the only one elsewhere.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "gateway/grant.h"
#include "gateway/port_mapping.h"

namespace gateway {

// Why the next service takes over from this one: the words for the user, the status for
// the developers' line.
struct PassOver {
    std::string reason; // "it did not answer within 4 s"
    std::uint32_t status = 0;
};

class NatService {
public:
    virtual ~NatService() = default;

    // The steps of reaching the mappings, each a place where the system's object can fail:
    // it is not created, created as nothing, gives no collection, or gives none because it
    // found no gateway (ours says that one when the search found none).
    enum class Access { Ok, NotCreated, CreatedNone, CollectionFailed, NoCollection };
    struct AccessAnswer {
        Access step = Access::Ok;
        std::optional<PassOver> passOver; // when the next service should take over
    };
    virtual AccessAnswer OpenCollection() = 0;

    enum class Adding { Made, Failed, MadeNone };
    struct AddAnswer {
        Adding step = Adding::Failed;
        std::optional<Grant> grant; // Made: what the gateway holds now
        std::optional<PassOver> passOver;
    };
    // Asked only after OpenCollection gave Ok.
    virtual AddAnswer Add(const MappingRequest& request) = 0;
};

} // namespace gateway
