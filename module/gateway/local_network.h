// This host's own view of the LAN, read once per search: where a gateway that answers
// us may stand, and which addresses are this host itself (loopback and its own), where
// no gateway may.
#pragma once

#include <vector>

#include "gateway/ipv4_address.h"

namespace gateway {

struct Subnet {
    Ipv4 address;
    Ipv4 mask;
    bool Contains(Ipv4 other) const { return (address.value & mask.value) == (other.value & mask.value); }
};

// Loopback's subnet, never a gateway whether the system lists it or not; and the mask
// that makes an address a subnet of its own.
inline constexpr Subnet kLoopback{Ipv4{0x7F000000u}, Ipv4{0xFF000000u}}; // 127.0.0.0/8
inline constexpr Ipv4 kHostMask{0xFFFFFFFFu};

struct LocalNetwork {
    std::vector<Subnet> lans; // of the running interfaces other than loopback
    std::vector<Subnet> self; // loopback's subnets and each own address

    bool IsOnLan(Ipv4 address) const;
    bool IsSelf(Ipv4 address) const;
};

// From the interfaces as they are now; empty when they cannot be listed.
LocalNetwork ReadLocalNetwork();

} // namespace gateway
