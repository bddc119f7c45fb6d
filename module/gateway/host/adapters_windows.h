// This host's network adapters and their addresses, as GetAdaptersAddresses lists them.
#pragma once

#include "gateway/host/socket_headers.h"

#include <iphlpapi.h>

#include <memory>

namespace gateway::host {

struct AdapterListDeleter {
    void operator()(IP_ADAPTER_ADDRESSES* list) const { ::operator delete(list); }
};
using AdapterList = std::unique_ptr<IP_ADAPTER_ADDRESSES, AdapterListDeleter>;

// The adapters with their addresses of `family` (AF_UNSPEC: both), and whatever
// `moreFlags` asks besides; null when the list cannot be had.
AdapterList ReadAdapters(ULONG family = AF_INET, ULONG moreFlags = 0);

} // namespace gateway::host
