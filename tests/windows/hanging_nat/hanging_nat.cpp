// A stand-in for a locked-up NAT UPnP service, for the Wine tests: an in-process COM
// server that, registered under the NAT object's class, gives a NAT object whose
// get_StaticPortMappingCollection never returns.
#include <windows.h>

#include "platform/com/natupnp_windows.h"
#include "stand_in_com.h"

namespace {

class HangingNat final : public DispatchStandIn<IUPnPNAT> {
    const IID& Own() const override { return IID_IUPnPNAT; }
    HRESULT STDMETHODCALLTYPE get_StaticPortMappingCollection(IStaticPortMappingCollection**) override
    {
        Sleep(INFINITE);
        return E_FAIL;
    }
    HRESULT STDMETHODCALLTYPE get_DynamicPortMappingCollection(IDynamicPortMappingCollection**) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE get_NATEventManager(INATEventManager**) override { return E_NOTIMPL; }
};

class Factory final : public StandIn<IClassFactory> {
    const IID& Own() const override { return IID_IClassFactory; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override
    {
        if (outer != nullptr) return CLASS_E_NOAGGREGATION;
        return HandOutAs(new HangingNat(), iid, object);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

} // namespace

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID iid, void** object)
{
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (clsid != CLSID_UPnPNAT) return CLASS_E_CLASSNOTAVAILABLE;
    return HandOutAs(new Factory(), iid, object);
}

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE DllCanUnloadNow() { return S_FALSE; }
