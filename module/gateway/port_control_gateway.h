// A gateway that maps ports through PCP or NAT-PMP: both grant a mapping for a while,
// maybe on another external port, and neither can be asked later what it holds, so
// what the grant says is checked here, once for both.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "com/com_api.h"
#include "gateway/ipv4_address.h"
#include "gateway/port_mapping.h"
#include "platform/deadline.h"
#include "record/forward_record.h"

namespace gateway {

// The gateway's answer to one request.
struct PortGrant {
    int result = 0;           // the protocol's result code; 0 granted
    std::string resultText;   // "8 NO_RESOURCES"
    int internalPort = 0;
    int externalPort = 0;
    std::uint32_t lifetime = 0;
    std::optional<Ipv4> externalAddress;
    std::optional<std::uint32_t> epoch; // the gateway's seconds since its start (PCP and NAT-PMP alike)
};

class PortControlProtocol {
public:
    virtual ~PortControlProtocol() = default;
    virtual std::string Name() const = 0; // "PCP", "NAT-PMP"
    // The grant for `request` held for `lifetime` seconds (0 deletes it); nothing, with
    // the reason on standard error, when no answer came by the deadline.
    virtual std::optional<PortGrant> Ask(const MappingRequest& request, std::uint32_t lifetime, Deadline deadline) = 0;
    // The mapping nonce in hex, where the protocol has one (PCP): renewing and deleting
    // must give the same.
    virtual std::string NonceText() const { return {}; }
    // Takes a recorded nonce; false when it is not one.
    virtual bool UseNonce(const std::string& /*hex*/) { return true; }
};

struct MappingOutcome {
    HRESULT status = E_FAIL;
    HeldMapping held; // when the status is S_OK
    std::optional<std::uint32_t> epoch; // the gateway's seconds since its start, with the grant
};

class PortControlGateway {
public:
    PortControlGateway(Ipv4 gatewayAddress, std::unique_ptr<PortControlProtocol> protocol)
        : gateway_(gatewayAddress), protocol_(std::move(protocol))
    {
    }

    // Maps `request` for kAskedLease; success, with the lifetime granted, only for the ports
    // asked for on a reachable external address, for 2 minutes at least (a shorter grant
    // is asked once more). A mapping that is not that is deleted again. A failure writes
    // its headline.
    MappingOutcome Map(const MappingRequest& request, Deadline deadline) const;

    std::string Name() const { return protocol_->Name(); }
    std::string NonceText() const { return protocol_->NonceText(); }
    bool UseNonce(const std::string& hex) const { return protocol_->UseNonce(hex); }

    // Asks for lifetime 0; the reason, empty when the gateway no longer holds it. The
    // answer's epoch goes to `epoch`, when given.
    std::string Delete(const MappingRequest& request, Deadline deadline,
                       std::optional<std::uint32_t>* epoch = nullptr) const;

private:
    bool FromOwnAddress(const MappingRequest& request) const;

    Ipv4 gateway_;
    std::unique_ptr<PortControlProtocol> protocol_;
};

// PCP's shortest lifetime in practice: a mapping gone in seconds opens nothing.
constexpr std::uint32_t kShortestUsefulLifetime = 120;

} // namespace gateway
