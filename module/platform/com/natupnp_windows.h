// The NAT UPnP interfaces of Windows, declared here because mingw-w64 ships no
// natupnp.h. The vtable order follows Windows' own declaration.
#pragma once

#include <windows.h>
#include <oaidl.h>

struct INATEventManager;
struct IDynamicPortMappingCollection;
struct IStaticPortMapping;

// {AE1E00AA-3FD5-403C-8A27-2BBDC30CD0E1}
DEFINE_GUID(CLSID_UPnPNAT, 0xAE1E00AA, 0x3FD5, 0x403C, 0x8A, 0x27, 0x2B, 0xBD, 0xC3, 0x0C, 0xD0, 0xE1);
// {B171C812-CC76-485A-94D8-B6B3A2794E99}
DEFINE_GUID(IID_IUPnPNAT, 0xB171C812, 0xCC76, 0x485A, 0x94, 0xD8, 0xB6, 0xB3, 0xA2, 0x79, 0x4E, 0x99);
// {CD1F3E77-66D6-4664-82C7-36DBB641D0F1}
DEFINE_GUID(IID_IStaticPortMappingCollection, 0xCD1F3E77, 0x66D6, 0x4664, 0x82, 0xC7, 0x36, 0xDB, 0xB6, 0x41, 0xD0, 0xF1);
// {6F10711F-729B-41E5-93B8-F21D0F818DF1}
DEFINE_GUID(IID_IStaticPortMapping, 0x6F10711F, 0x729B, 0x41E5, 0x93, 0xB8, 0xF2, 0x1D, 0x0F, 0x81, 0x8D, 0xF1);

struct IStaticPortMapping : public IDispatch {
    virtual HRESULT STDMETHODCALLTYPE get_ExternalIPAddress(BSTR* address) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_ExternalPort(long* port) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_InternalPort(long* port) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Protocol(BSTR* protocol) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_InternalClient(BSTR* client) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Enabled(VARIANT_BOOL* enabled) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Description(BSTR* description) = 0;
    virtual HRESULT STDMETHODCALLTYPE EditInternalClient(BSTR client) = 0;
    virtual HRESULT STDMETHODCALLTYPE Enable(VARIANT_BOOL enabled) = 0;
    virtual HRESULT STDMETHODCALLTYPE EditDescription(BSTR description) = 0;
    virtual HRESULT STDMETHODCALLTYPE EditInternalPort(long port) = 0;
};

struct IStaticPortMappingCollection : public IDispatch {
    virtual HRESULT STDMETHODCALLTYPE get__NewEnum(IUnknown** enumerator) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Item(long externalPort, BSTR protocol, IStaticPortMapping** mapping) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Count(long* count) = 0;
    virtual HRESULT STDMETHODCALLTYPE Remove(long externalPort, BSTR protocol) = 0;
    virtual HRESULT STDMETHODCALLTYPE Add(long externalPort, BSTR protocol, long internalPort, BSTR internalClient,
                                          VARIANT_BOOL enabled, BSTR description, IStaticPortMapping** mapping) = 0;
};

struct IUPnPNAT : public IDispatch {
    virtual HRESULT STDMETHODCALLTYPE get_StaticPortMappingCollection(IStaticPortMappingCollection** collection) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_DynamicPortMappingCollection(IDynamicPortMappingCollection** collection) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_NATEventManager(INATEventManager** manager) = 0;
};
