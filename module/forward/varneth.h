// The mapping class: adds static port mappings on the gateway through the NAT
// UPnP service, and carries out one forward request.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "com/com_ptr.h"

struct ForwardResult {
    bool Mapped = false;
    bool FirewallOpen = false;
};

class Varneth {
public:
    // Creates the NAT object and obtains the gateway's static mapping collection.
    bool Access();
    // Adds one enabled static mapping; 't' selects TCP, any other character UDP.
    bool Add(wchar_t protocol, std::int32_t externalPort, std::int32_t internalPort,
             const std::wstring& internalClient, const std::wstring& description);
    bool MapPort(wchar_t protocol, std::int32_t externalPort, std::int32_t internalPort,
                 const std::wstring& internalClient, const std::wstring& description);
    // The whole request: 0 TCP, 1 UDP, 2 both. The reason of a failure stays in ErrorCode.
    ForwardResult Forward(std::int32_t protocolSelector, std::int32_t port, const std::wstring& internalAddress,
                          const std::wstring& description);

    // Declared in this order so they are given back Mapping, Collection, Nat.
    ComPtr<IUPnPNAT> Nat;
    ComPtr<IStaticPortMappingCollection> Collection;
    ComPtr<IStaticPortMapping> Mapping;
    std::int32_t ErrorCode = 0;
    // The firewall entries this request added (not those that were there already), so
    // that only they are ever removed again.
    std::vector<std::wstring> FirewallEntriesMade;
    // After a request that mapped and let in every chosen protocol: the shortest lease
    // the gateway granted, when every mapping told it.
    std::optional<long> Lease;
};

// Result codes a forward request leaves in ErrorCode.
inline constexpr std::int32_t kErrorEmptyAddress = 992;
inline constexpr std::int32_t kErrorComInit = 1204;
inline constexpr std::int32_t kErrorNoFirewallProfile = 234;
inline constexpr std::int32_t kErrorFirewallNotOpened = 1682;
