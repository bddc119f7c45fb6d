#include "gateway/host/adapters_windows.h"

#include <new>

namespace gateway::host {

AdapterList ReadAdapters(ULONG family, ULONG moreFlags)
{
    const ULONG flags = GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER | moreFlags;
    ULONG size = 16 * 1024;
    // The list may grow between the call that sizes it and the one that fills it.
    for (int attempt = 0; attempt < 3; ++attempt) {
        AdapterList list(static_cast<IP_ADAPTER_ADDRESSES*>(::operator new(size, std::nothrow)));
        if (!list) return nullptr;
        const ULONG status = GetAdaptersAddresses(family, flags, nullptr, list.get(), &size);
        if (status == NO_ERROR) return list;
        if (status != ERROR_BUFFER_OVERFLOW) return nullptr;
    }
    return nullptr;
}

} // namespace gateway::host
