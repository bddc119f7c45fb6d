#include "gateway/local_network.h"

#include "gateway/host/adapters_windows.h"

namespace gateway {
namespace {

Ipv4 MaskOfLength(unsigned length) { return Ipv4{length == 0 ? 0u : 0xFFFFFFFFu << (32 - (length > 32 ? 32 : length))}; }

} // namespace

LocalNetwork ReadLocalNetwork()
{
    LocalNetwork network;
    // Loopback is never a gateway, listed or not.
    network.self.push_back(kLoopback);
    const host::AdapterList adapters = host::ReadAdapters();
    for (const IP_ADAPTER_ADDRESSES* adapter = adapters.get(); adapter != nullptr; adapter = adapter->Next) {
        const bool loopback = adapter->IfType == IF_TYPE_SOFTWARE_LOOPBACK;
        for (const IP_ADAPTER_UNICAST_ADDRESS* unicast = adapter->FirstUnicastAddress; unicast != nullptr;
             unicast = unicast->Next) {
            const SOCKADDR* address = unicast->Address.lpSockaddr;
            if (address == nullptr || address->sa_family != AF_INET) continue;
            const Ipv4 own = AddressOf(*reinterpret_cast<const sockaddr_in*>(address));
            const Subnet subnet{own, MaskOfLength(unicast->OnLinkPrefixLength)};
            // An address stays ours whether its adapter is up or not.
            network.self.push_back(loopback ? subnet : Subnet{own, kHostMask});
            if (adapter->OperStatus == IfOperStatusUp && !loopback) network.lans.push_back(subnet);
        }
    }
    return network;
}

} // namespace gateway
