// Creates one of our objects and hands out the interface the caller asked for.
#pragma once

#include <new>
#include <utility>

#include "com/com_api.h"

namespace firewall {

template <class Impl, class... Args>
HRESULT HandOut(REFIID iid, void** object, Args&&... args)
{
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    Impl* created = new (std::nothrow) Impl(std::forward<Args>(args)...);
    if (created == nullptr) return E_OUTOFMEMORY;
    const HRESULT hr = created->QueryInterface(iid, object);
    created->Release();
    return hr;
}

template <class Interface>
void** OutPlace(Interface** place)
{
    return reinterpret_cast<void**>(place);
}

} // namespace firewall
