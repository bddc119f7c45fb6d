// What a gateway granted, as a value: the forward returns it, the record keeps it, and
// renew, list and close hand it back to the gateway.
#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <tuple>

#include "terms.h"

namespace gateway {

// The lease our client asks for, renewed at its half: a forward nobody renews any more
// closes by itself within two hours.
inline constexpr long long kAskedLease = 7200;

// The gateway an entry lives on, as far as it told: its UPnP device UDN, its address and
// its link-layer address. An entry is renewed only on the same gateway.
struct Identity {
    std::string udn;
    std::string address;
    std::string linkAddress;
};

// A mapping (IPv4) or a pinhole (IPv6), as the gateway granted it.
struct Grant {
    Protocol protocol = Protocol::Tcp;
    Family family = Family::Ipv4;
    Method method = Method::Upnp;
    int externalPort = 0;
    int internalPort = 0;
    std::string internalAddress; // as asked; a pinhole's: the global IPv6 address it is for
    std::string forwardAddress;  // a pinhole's: the IPv4 address of the forward it was opened beside
    Identity gateway;
    std::string externalAddress;
    std::optional<long long> lease; // seconds; 0: no end; nothing: the gateway did not say
    long long grantedAt = 0;        // seconds since 1970
    std::optional<std::uint32_t> epoch; // PCP's or NAT-PMP's seconds since the gateway started
    std::string nonce;           // PCP's mapping nonce, 24 hex digits
    std::string pinholeId;       // a UPnP pinhole's UniqueID
    std::string description;
};

// Whether the gateway still holds an entry. PCP and NAT-PMP cannot be asked without
// renewing, and gateways answer a pinhole check alike whether they hold it or not.
enum class Holding { Held, NotHeld, CannotTell };

// When a grant of `lease` seconds is due to be asked for again: at its half, so that a
// lease cut short by a restart is mended in time; a lease longer than ours (the system's
// NAT object's, often 7 days) once no more of it is left than ours keeps at its half.
inline long long RenewAfter(long long lease) { return std::max(lease / 2, lease - kAskedLease / 2); }

// The lease a renewal asks for: ours, or the one the system's NAT object was granted (0:
// no end), which a renewal must never shorten.
inline long long LeaseAskedAgain(const Grant& grant)
{
    return grant.method == Method::System ? std::max(grant.lease.value_or(0), 0LL) : kAskedLease;
}

inline bool operator==(const Identity& a, const Identity& b)
{
    return std::tie(a.udn, a.address, a.linkAddress) == std::tie(b.udn, b.address, b.linkAddress);
}
inline bool operator!=(const Identity& a, const Identity& b) { return !(a == b); }

inline bool operator==(const Grant& a, const Grant& b)
{
    const auto fields = [](const Grant& g) {
        return std::tie(g.protocol, g.family, g.method, g.externalPort, g.internalPort, g.internalAddress,
                        g.forwardAddress, g.gateway, g.externalAddress, g.lease, g.grantedAt, g.epoch, g.nonce,
                        g.pinholeId, g.description);
    };
    return fields(a) == fields(b);
}
inline bool operator!=(const Grant& a, const Grant& b) { return !(a == b); }

} // namespace gateway
