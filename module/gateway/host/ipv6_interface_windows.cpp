#include "gateway/host/ipv6_interface.h"

#include <cstring>

#include "gateway/host/adapters_windows.h"

namespace gateway::host {
namespace {

Ipv6 AddressOf6(const SOCKADDR* address)
{
    Ipv6 own;
    std::memcpy(own.bytes.data(), &reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr, own.bytes.size());
    return own;
}

bool Holds(const IP_ADAPTER_ADDRESSES& adapter, Ipv4 address)
{
    for (const IP_ADAPTER_UNICAST_ADDRESS* unicast = adapter.FirstUnicastAddress; unicast != nullptr;
         unicast = unicast->Next) {
        const SOCKADDR* own = unicast->Address.lpSockaddr;
        if (own != nullptr && own->sa_family == AF_INET &&
            AddressOf(*reinterpret_cast<const sockaddr_in*>(own)) == address)
            return true;
    }
    return false;
}

// The adapter that holds `address`, in a list that lives as long as the result is used.
const IP_ADAPTER_ADDRESSES* AdapterHolding(const AdapterList& adapters, Ipv4 address)
{
    for (const IP_ADAPTER_ADDRESSES* adapter = adapters.get(); adapter != nullptr; adapter = adapter->Next)
        if (Holds(*adapter, address)) return adapter;
    return nullptr;
}

} // namespace

std::optional<Ipv6> ReadGlobalIpv6(Ipv4 interfaceAddress)
{
    const AdapterList adapters = ReadAdapters(AF_UNSPEC);
    const IP_ADAPTER_ADDRESSES* adapter = AdapterHolding(adapters, interfaceAddress);
    if (adapter == nullptr) return std::nullopt;
    std::vector<Ipv6Candidate> candidates;
    for (const IP_ADAPTER_UNICAST_ADDRESS* unicast = adapter->FirstUnicastAddress; unicast != nullptr;
         unicast = unicast->Next) {
        const SOCKADDR* own = unicast->Address.lpSockaddr;
        if (own == nullptr || own->sa_family != AF_INET6) continue;
        candidates.push_back(Ipv6Candidate{AddressOf6(own), unicast->SuffixOrigin == IpSuffixOriginRandom,
                                           unicast->DadState == IpDadStateDeprecated,
                                           unicast->DadState != IpDadStatePreferred &&
                                               unicast->DadState != IpDadStateDeprecated});
    }
    return ChooseGlobalIpv6(candidates);
}

std::optional<Ipv6> ReadIpv6DefaultRouter(Ipv4 interfaceAddress)
{
    const AdapterList adapters = ReadAdapters(AF_UNSPEC, GAA_FLAG_INCLUDE_GATEWAYS);
    const IP_ADAPTER_ADDRESSES* adapter = AdapterHolding(adapters, interfaceAddress);
    if (adapter == nullptr) return std::nullopt;
    for (const IP_ADAPTER_GATEWAY_ADDRESS_LH* gateway = adapter->FirstGatewayAddress; gateway != nullptr;
         gateway = gateway->Next) {
        const SOCKADDR* via = gateway->Address.lpSockaddr;
        if (via != nullptr && via->sa_family == AF_INET6) return AddressOf6(via);
    }
    return std::nullopt;
}

std::uint32_t ReadInterfaceIndex(Ipv4 interfaceAddress)
{
    const AdapterList adapters = ReadAdapters(AF_UNSPEC);
    const IP_ADAPTER_ADDRESSES* adapter = AdapterHolding(adapters, interfaceAddress);
    return adapter == nullptr ? 0 : adapter->Ipv6IfIndex;
}

} // namespace gateway::host
