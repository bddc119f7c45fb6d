// Our own NAT classes implement the system's interfaces on Windows, which carry
// scripting (IDispatch) and calls the module never makes: those answer E_NOTIMPL here,
// so that a class names only what it does, on every platform.
#pragma once

#include <windows.h>
#include <ole2.h>

#include "com/natupnp_windows.h"

namespace comrt {

template <class Interface>
struct WithoutDispatch : Interface {
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override
    {
        return E_NOTIMPL;
    }
};

// The base a ComObject derives from for `Interface`: an interface of our own as it is,
// the system's with what the module never calls.
template <class Interface>
struct Implements : Interface {};

template <>
struct Implements<IUPnPNAT> : WithoutDispatch<IUPnPNAT> {
    HRESULT STDMETHODCALLTYPE get_DynamicPortMappingCollection(IDynamicPortMappingCollection**) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE get_NATEventManager(INATEventManager**) override { return E_NOTIMPL; }
};

template <>
struct Implements<IStaticPortMappingCollection> : WithoutDispatch<IStaticPortMappingCollection> {
    HRESULT STDMETHODCALLTYPE get__NewEnum(IUnknown**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Item(long, BSTR, IStaticPortMapping**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Count(long*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Remove(long, BSTR) override { return E_NOTIMPL; }
};

template <>
struct Implements<IStaticPortMapping> : WithoutDispatch<IStaticPortMapping> {
    HRESULT STDMETHODCALLTYPE EditInternalClient(BSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Enable(VARIANT_BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EditDescription(BSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EditInternalPort(long) override { return E_NOTIMPL; }
};

// Maps an interface type to its IID, for QueryInterface in our own classes.
template <class Interface>
struct InterfaceId;
template <> struct InterfaceId<IUPnPNAT> { static constexpr const IID& value = IID_IUPnPNAT; };
template <> struct InterfaceId<IStaticPortMappingCollection> { static constexpr const IID& value = IID_IStaticPortMappingCollection; };
template <> struct InterfaceId<IStaticPortMapping> { static constexpr const IID& value = IID_IStaticPortMapping; };

} // namespace comrt
