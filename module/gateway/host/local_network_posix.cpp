#include "gateway/local_network.h"

#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <memory>

namespace gateway {

LocalNetwork ReadLocalNetwork()
{
    LocalNetwork network;
    // Loopback is never a gateway, listed or not.
    network.self.push_back(kLoopback);
    ifaddrs* raw = nullptr;
    if (getifaddrs(&raw) != 0) return network;
    const std::unique_ptr<ifaddrs, decltype(&freeifaddrs)> interfaces(raw, &freeifaddrs);
    for (const ifaddrs* entry = raw; entry != nullptr; entry = entry->ifa_next) {
        if (entry->ifa_addr == nullptr || entry->ifa_netmask == nullptr || entry->ifa_addr->sa_family != AF_INET)
            continue;
        const Ipv4 own = AddressOf(*reinterpret_cast<const sockaddr_in*>(entry->ifa_addr));
        const Subnet subnet{own, AddressOf(*reinterpret_cast<const sockaddr_in*>(entry->ifa_netmask))};
        // An address stays ours whether its interface is up or not.
        network.self.push_back((entry->ifa_flags & IFF_LOOPBACK) != 0 ? subnet : Subnet{own, kHostMask});
        if ((entry->ifa_flags & IFF_UP) != 0 && (entry->ifa_flags & IFF_LOOPBACK) == 0) network.lans.push_back(subnet);
    }
    return network;
}

} // namespace gateway
