#include "local_subnets.h"

#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <memory>

namespace gateway {

bool IsOnLocalSubnet(Ipv4 address)
{
    ifaddrs* raw = nullptr;
    if (getifaddrs(&raw) != 0) return false;
    const std::unique_ptr<ifaddrs, decltype(&freeifaddrs)> interfaces(raw, &freeifaddrs);
    for (const ifaddrs* entry = raw; entry != nullptr; entry = entry->ifa_next) {
        if (entry->ifa_addr == nullptr || entry->ifa_netmask == nullptr) continue;
        if (entry->ifa_addr->sa_family != AF_INET || (entry->ifa_flags & IFF_UP) == 0) continue;
        const Ipv4 own = AddressOf(*reinterpret_cast<const sockaddr_in*>(entry->ifa_addr));
        const Ipv4 mask = AddressOf(*reinterpret_cast<const sockaddr_in*>(entry->ifa_netmask));
        if ((own.value & mask.value) == (address.value & mask.value)) return true;
    }
    return false;
}

} // namespace gateway
