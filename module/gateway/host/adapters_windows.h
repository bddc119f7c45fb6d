// This host's network adapters and their IPv4 addresses, as GetAdaptersAddresses lists them.
#pragma once

#include "gateway/host/socket_headers.h"

#include <iphlpapi.h>

#include <memory>

namespace gateway::host {

struct AdapterListDeleter {
    void operator()(IP_ADAPTER_ADDRESSES* list) const { ::operator delete(list); }
};
using AdapterList = std::unique_ptr<IP_ADAPTER_ADDRESSES, AdapterListDeleter>;

// Null when the list cannot be had.
AdapterList ReadAdapters();

} // namespace gateway::host
