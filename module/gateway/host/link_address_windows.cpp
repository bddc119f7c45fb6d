#include "gateway/host/link_address.h"

#include <cstdio>
#include <memory>

#include "gateway/host/socket_headers.h"

#include <iphlpapi.h>
#include <netioapi.h>

namespace gateway::host {
namespace {

struct TableDeleter {
    void operator()(MIB_IPNET_TABLE2* table) const { FreeMibTable(table); }
};

// An entry being resolved, or that failed to be, holds no address yet.
bool Complete(const MIB_IPNET_ROW2& row)
{
    return row.PhysicalAddressLength > 0 && row.State != NlnsUnreachable && row.State != NlnsIncomplete;
}

std::string Text(const MIB_IPNET_ROW2& row)
{
    std::string text;
    for (ULONG i = 0; i < row.PhysicalAddressLength && i < IF_MAX_PHYS_ADDRESS_LENGTH; ++i) {
        char octet[4];
        std::snprintf(octet, sizeof octet, "%s%02x", i == 0 ? "" : ":", row.PhysicalAddress[i]);
        text += octet;
    }
    return text;
}

} // namespace

// The table as it stands: GetIpNetTable2 sends nothing, where ResolveIpNetEntry2 would
// ask the network and wait.
std::string LinkAddressOf(Ipv4 host)
{
    MIB_IPNET_TABLE2* raw = nullptr;
    if (GetIpNetTable2(AF_INET, &raw) != NO_ERROR) return {};
    const std::unique_ptr<MIB_IPNET_TABLE2, TableDeleter> table(raw);
    for (ULONG i = 0; i < table->NumEntries; ++i) {
        const MIB_IPNET_ROW2& row = table->Table[i];
        if (row.Address.si_family == AF_INET && AddressOf(row.Address.Ipv4) == host && Complete(row)) return Text(row);
    }
    return {};
}

} // namespace gateway::host
