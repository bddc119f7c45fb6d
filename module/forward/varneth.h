// The mapping class: adds static port mappings on the gateway through the NAT service it
// stands on, and carries out one forward request.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "forward/forward_outcome.h"
#include "forward/varneth_platform.h"

struct ForwardResult {
    bool Mapped = false;
    bool FirewallOpen = false;
    ForwardOutcome Outcome;
};

class Varneth {
public:
    explicit Varneth(VarnethPlatform platform) : platform_(std::move(platform)) {}

    // Reaches the NAT service and the gateway's static mapping collection.
    bool Access();
    // Adds one enabled static mapping; 't' selects TCP, any other character UDP.
    bool Add(wchar_t protocol, std::int32_t externalPort, std::int32_t internalPort,
             const std::wstring& internalClient, const std::wstring& description);
    bool MapPort(wchar_t protocol, std::int32_t externalPort, std::int32_t internalPort,
                 const std::wstring& internalClient, const std::wstring& description);
    // The whole request: 0 TCP, 1 UDP, 2 both. The reason of a failure stays in ErrorCode.
    ForwardResult Forward(std::int32_t protocolSelector, std::int32_t port, const std::wstring& internalAddress,
                          const std::wstring& description);

    // Where the NAT UPnP references stood: the service asked now, whether it gave its
    // collection, and what the last Add answered (its grant when it made the mapping).
    gateway::NatService* Nat = nullptr;
    bool Collection = false;
    std::optional<gateway::NatService::AddAnswer> Mapping;
    std::int32_t ErrorCode = 0;

private:
    // Turns to the next service, saying why once; false when there is none or no reason.
    bool PassOver(const std::optional<gateway::PassOver>& why);

    VarnethPlatform platform_;
    std::size_t service_ = 0; // only ever moves on
};

// Result codes a forward request leaves in ErrorCode.
inline constexpr std::int32_t kErrorEmptyAddress = 992;
inline constexpr std::int32_t kErrorComInit = 1204;
inline constexpr std::int32_t kErrorNoFirewallProfile = 234;
inline constexpr std::int32_t kErrorFirewallNotOpened = 1682;
