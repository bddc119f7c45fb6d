// What the Wine tests' stand-in COM servers share: reference counting, QueryInterface
// for the one interface an object implements (and IDispatch, whose calls none needs),
// and handing a new object out as the interface asked for.
#pragma once

#include <windows.h>

#include <atomic>
#include <type_traits>

#include "platform/com/natupnp_windows.h"

// Answers the scripting calls (IDispatch) of an interface, which no test makes.
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

template <class Interface>
class StandIn : public Interface {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
    {
        if (object == nullptr) return E_POINTER;
        *object = nullptr;
        const bool dispatch = std::is_base_of_v<IDispatch, Interface> && iid == IID_IDispatch;
        if (iid != IID_IUnknown && !dispatch && iid != Own()) return E_NOINTERFACE;
        *object = this;
        this->AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const ULONG left = --references_;
        if (left == 0) delete this;
        return left;
    }

protected:
    virtual ~StandIn() = default;
    virtual const IID& Own() const = 0;

private:
    std::atomic<ULONG> references_{1};
};

// An object whose interface derives from IDispatch, which it does not serve.
template <class Interface>
using DispatchStandIn = StandIn<WithoutDispatch<Interface>>;

// `made` (its one reference ours) as the interface `iid`, in `object`.
template <class Made>
HRESULT HandOutAs(Made* made, REFIID iid, void** object)
{
    const HRESULT status = made->QueryInterface(iid, object);
    made->Release();
    return status;
}
