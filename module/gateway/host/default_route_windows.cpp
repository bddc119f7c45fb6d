#include "gateway/host/default_route.h"

#include "gateway/host/adapters_windows.h"

#include <netioapi.h>

namespace gateway::host {
namespace {

struct TableDeleter {
    void operator()(MIB_IPFORWARD_TABLE2* table) const { FreeMibTable(table); }
};

// Windows ranks a route by its own metric plus its interface's.
unsigned long InterfaceMetric(const IP_ADAPTER_ADDRESSES* adapters, NET_LUID luid)
{
    for (const IP_ADAPTER_ADDRESSES* adapter = adapters; adapter != nullptr; adapter = adapter->Next)
        if (adapter->Luid.Value == luid.Value) return adapter->Ipv4Metric;
    return 0;
}

} // namespace

std::vector<DefaultRoute> ReadDefaultRoutes()
{
    std::vector<DefaultRoute> routes;
    MIB_IPFORWARD_TABLE2* raw = nullptr;
    if (GetIpForwardTable2(AF_INET, &raw) != NO_ERROR) return routes;
    const std::unique_ptr<MIB_IPFORWARD_TABLE2, TableDeleter> table(raw);
    const AdapterList adapters = ReadAdapters();
    for (ULONG i = 0; i < table->NumEntries; ++i) {
        const MIB_IPFORWARD_ROW2& row = table->Table[i];
        if (row.DestinationPrefix.PrefixLength != 0 || row.NextHop.si_family != AF_INET) continue;
        const Ipv4 via = AddressOf(row.NextHop.Ipv4);
        if (via.value == 0) continue; // on-link: no gateway
        routes.push_back(DefaultRoute{via, row.Metric + InterfaceMetric(adapters.get(), row.InterfaceLuid)});
    }
    return routes;
}

} // namespace gateway::host
