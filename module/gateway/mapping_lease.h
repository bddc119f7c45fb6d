// How long the gateway keeps a mapping. IStaticPortMapping cannot tell, so our own
// mapping objects answer it through this interface of their own; a mapping that does
// not offer it (the Windows service's) leaves the time unsaid.
#pragma once

#include "com/com_api.h"

struct IMappingLease : IUnknown {
    // Seconds the gateway keeps the mapping; 0: until it restarts; -1: it did not say.
    virtual HRESULT get_LeaseSeconds(LONG* seconds) = 0;

protected:
    ~IMappingLease() = default;
};

inline constexpr IID IID_IMappingLease = {0x3B0C6E52, 0x9F1D, 0x4A7E, {0xB2, 0x64, 0x5D, 0x18, 0xC0, 0x7A, 0x93, 0xE1}};

namespace comrt {
template <> struct InterfaceId<IMappingLease> { static constexpr const IID& value = IID_IMappingLease; };
} // namespace comrt
