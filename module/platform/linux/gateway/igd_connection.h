// One gateway device, reached through libminiupnpc: its validity check, AddPortMapping
// and GetSpecificPortMappingEntry. Every call ends by its deadline.
#pragma once

#include <miniupnpc/miniupnpc.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/posix/deadline.h"
#include "port_mapping.h"

namespace gateway {

class IgdConnection;

struct IgdOpening {
    std::unique_ptr<IgdConnection> connection;
    std::string headline; // when there is none: why, for the user
};

struct MappingReadBack {
    int code = 0; // 0, or why the gateway did not answer with the mapping
    HeldMapping mapping;
};

class IgdConnection {
public:
    // Fetches the description at `location` and checks that the device is a gateway
    // that can give out ports the Internet reaches; no connection, with the reason on
    // standard error and as a headline to give, when it cannot.
    static IgdOpening Open(const std::string& location, Deadline deadline);

    ~IgdConnection();
    IgdConnection(const IgdConnection&) = delete;
    IgdConnection& operator=(const IgdConnection&) = delete;

    // 0, or the gateway's refusal as a UPnP or library code. `leaseSeconds` 0: no end.
    int AddPortMapping(const MappingRequest& request, long leaseSeconds, Deadline deadline) const;
    MappingReadBack ReadMapping(int externalPort, const std::string& protocol, Deadline deadline) const;
    // 0, or the gateway's refusal.
    int DeletePortMapping(int externalPort, const std::string& protocol, Deadline deadline) const;
    // Every mapping the gateway lists, by index until it says there are no more; code 0
    // or why the list stopped early.
    struct Listing {
        int code = 0;
        std::vector<HeldMapping> mappings;
    };
    Listing ListMappings(Deadline deadline) const;

    const std::string& ExternalAddress() const { return externalAddress_; }

private:
    IgdConnection(const IGDdatas& data, const std::string& location, std::string externalAddress);

    IGDdatas data_;
    UPNPUrls urls_{};
    std::string externalAddress_;
};

} // namespace gateway
