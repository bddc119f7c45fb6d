#include "gateway/host/ipv6_interface.h"

#include <memory>

#include "gateway/host/adapters_windows.h"

#include <netioapi.h>

namespace gateway::host {
namespace {

Ipv6 AddressOf6(const SOCKADDR* address) { return AddressOf(*reinterpret_cast<const sockaddr_in6*>(address)); }

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

// Each IPv6 route through `adapter`, as the system lists them now.
template <class Each>
void ForEachIpv6Route(const IP_ADAPTER_ADDRESSES& adapter, Each each)
{
    MIB_IPFORWARD_TABLE2* raw = nullptr;
    if (GetIpForwardTable2(AF_INET6, &raw) != NO_ERROR) return;
    const std::unique_ptr<MIB_IPFORWARD_TABLE2, decltype(&FreeMibTable)> table(raw, &FreeMibTable);
    for (ULONG i = 0; i < table->NumEntries; ++i)
        if (table->Table[i].InterfaceLuid.Value == adapter.Luid.Value) each(table->Table[i]);
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

std::optional<Ipv6> ReadIpv6DefaultGateway(Ipv4 interfaceAddress)
{
    const AdapterList adapters = ReadAdapters(AF_UNSPEC);
    const IP_ADAPTER_ADDRESSES* adapter = AdapterHolding(adapters, interfaceAddress);
    if (adapter == nullptr) return std::nullopt;
    // Routes of one interface share its metric: theirs alone decides between them.
    std::optional<Ipv6> ipv6Gateway;
    ULONG lowest = 0;
    ForEachIpv6Route(*adapter, [&](const MIB_IPFORWARD_ROW2& route) {
        const Ipv6 via = AddressOf6(reinterpret_cast<const SOCKADDR*>(&route.NextHop.Ipv6));
        if (route.DestinationPrefix.PrefixLength != 0 || via == Ipv6{} || (ipv6Gateway && route.Metric >= lowest)) return;
        ipv6Gateway = via;
        lowest = route.Metric;
    });
    return ipv6Gateway;
}

bool Ipv6RoutesShown(Ipv4 interfaceAddress)
{
    const AdapterList adapters = ReadAdapters(AF_UNSPEC);
    const IP_ADAPTER_ADDRESSES* adapter = AdapterHolding(adapters, interfaceAddress);
    bool shown = false;
    if (adapter != nullptr) ForEachIpv6Route(*adapter, [&](const MIB_IPFORWARD_ROW2&) { shown = true; });
    return shown;
}

std::uint32_t ReadInterfaceIndex(Ipv4 interfaceAddress)
{
    const AdapterList adapters = ReadAdapters(AF_UNSPEC);
    const IP_ADAPTER_ADDRESSES* adapter = AdapterHolding(adapters, interfaceAddress);
    if (adapter == nullptr) return 0;
    if (adapter->Ipv6IfIndex != 0) return adapter->Ipv6IfIndex;
    // Wine leaves the IPv6 index 0; the zone of the adapter's link-local address is the same index.
    for (const IP_ADAPTER_UNICAST_ADDRESS* unicast = adapter->FirstUnicastAddress; unicast != nullptr;
         unicast = unicast->Next) {
        const SOCKADDR* own = unicast->Address.lpSockaddr;
        if (own != nullptr && own->sa_family == AF_INET6 && IsLinkLocal(AddressOf6(own)))
            return reinterpret_cast<const sockaddr_in6*>(own)->sin6_scope_id;
    }
    return 0;
}

} // namespace gateway::host
