// A stand-in for a locked-up NAT UPnP service, for the Wine tests: an in-process COM
// server that, registered under the NAT object's class, gives a NAT object whose
// get_StaticPortMappingCollection never returns.
#include <windows.h>

#include <atomic>

#include "com/natupnp_windows.h"

namespace {

template <class Interface>
class Unknown : public Interface {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
    {
        if (object == nullptr) return E_POINTER;
        *object = nullptr;
        if (iid != IID_IUnknown && iid != Own()) return E_NOINTERFACE;
        *object = this;
        AddRef();
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
    virtual ~Unknown() = default;
    virtual const IID& Own() const = 0;

private:
    std::atomic<ULONG> references_{1};
};

class HangingNat final : public Unknown<IUPnPNAT> {
    const IID& Own() const override { return IID_IUPnPNAT; }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override
    {
        return E_NOTIMPL;
    }
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

class Factory final : public Unknown<IClassFactory> {
    const IID& Own() const override { return IID_IClassFactory; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override
    {
        if (outer != nullptr) return CLASS_E_NOAGGREGATION;
        auto* nat = new HangingNat();
        const HRESULT status = nat->QueryInterface(iid, object);
        nat->Release();
        return status;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

} // namespace

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID iid, void** object)
{
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (clsid != CLSID_UPnPNAT) return CLASS_E_CLASSNOTAVAILABLE;
    auto* factory = new Factory();
    const HRESULT status = factory->QueryInterface(iid, object);
    factory->Release();
    return status;
}

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE DllCanUnloadNow() { return S_FALSE; }
