// The COM interfaces the module calls, declared with just the methods it and our
// own classes use. The vtable layout only has to agree with itself here.
#pragma once

#include "com/runtime/com_types.h"
#include "com/runtime/guid.h"

struct IUnknown {
    virtual HRESULT QueryInterface(REFIID iid, void** object) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;

protected:
    ~IUnknown() = default;
};

struct IStaticPortMapping : IUnknown {
    virtual HRESULT get_ExternalIPAddress(BSTR* address) = 0;
    virtual HRESULT get_ExternalPort(LONG* port) = 0;
    virtual HRESULT get_InternalPort(LONG* port) = 0;
    virtual HRESULT get_Protocol(BSTR* protocol) = 0;
    virtual HRESULT get_InternalClient(BSTR* client) = 0;
    virtual HRESULT get_Enabled(VARIANT_BOOL* enabled) = 0;
    virtual HRESULT get_Description(BSTR* description) = 0;

protected:
    ~IStaticPortMapping() = default;
};

struct IStaticPortMappingCollection : IUnknown {
    virtual HRESULT Add(LONG externalPort, BSTR protocol, LONG internalPort, BSTR internalClient,
                        VARIANT_BOOL enabled, BSTR description, IStaticPortMapping** mapping) = 0;

protected:
    ~IStaticPortMappingCollection() = default;
};

struct IUPnPNAT : IUnknown {
    virtual HRESULT get_StaticPortMappingCollection(IStaticPortMappingCollection** collection) = 0;

protected:
    ~IUPnPNAT() = default;
};

struct INetFwOpenPort : IUnknown {
    virtual HRESULT get_Port(LONG* port) = 0;
    virtual HRESULT put_Port(LONG port) = 0;
    virtual HRESULT get_Protocol(NET_FW_IP_PROTOCOL* protocol) = 0;
    virtual HRESULT put_Protocol(NET_FW_IP_PROTOCOL protocol) = 0;
    virtual HRESULT get_Name(BSTR* name) = 0;
    virtual HRESULT put_Name(BSTR name) = 0;
    virtual HRESULT get_Enabled(VARIANT_BOOL* enabled) = 0;

protected:
    ~INetFwOpenPort() = default;
};

struct INetFwOpenPorts : IUnknown {
    virtual HRESULT Item(LONG port, NET_FW_IP_PROTOCOL protocol, INetFwOpenPort** openPort) = 0;
    virtual HRESULT Add(INetFwOpenPort* openPort) = 0;
    virtual HRESULT Remove(LONG port, NET_FW_IP_PROTOCOL protocol) = 0;

protected:
    ~INetFwOpenPorts() = default;
};

struct INetFwProfile : IUnknown {
    virtual HRESULT get_FirewallEnabled(VARIANT_BOOL* enabled) = 0;
    virtual HRESULT get_GloballyOpenPorts(INetFwOpenPorts** openPorts) = 0;

protected:
    ~INetFwProfile() = default;
};

struct INetFwPolicy : IUnknown {
    virtual HRESULT get_CurrentProfile(INetFwProfile** profile) = 0;

protected:
    ~INetFwPolicy() = default;
};

struct INetFwMgr : IUnknown {
    virtual HRESULT get_LocalPolicy(INetFwPolicy** policy) = 0;

protected:
    ~INetFwMgr() = default;
};

namespace comrt {

// Maps an interface type to its IID, for QueryInterface in our own classes.
template <class Interface> struct InterfaceId;
template <> struct InterfaceId<IUnknown> { static constexpr const IID& value = IID_IUnknown; };
template <> struct InterfaceId<IUPnPNAT> { static constexpr const IID& value = IID_IUPnPNAT; };
template <> struct InterfaceId<IStaticPortMappingCollection> { static constexpr const IID& value = IID_IStaticPortMappingCollection; };
template <> struct InterfaceId<IStaticPortMapping> { static constexpr const IID& value = IID_IStaticPortMapping; };
template <> struct InterfaceId<INetFwMgr> { static constexpr const IID& value = IID_INetFwMgr; };
template <> struct InterfaceId<INetFwPolicy> { static constexpr const IID& value = IID_INetFwPolicy; };
template <> struct InterfaceId<INetFwProfile> { static constexpr const IID& value = IID_INetFwProfile; };
template <> struct InterfaceId<INetFwOpenPorts> { static constexpr const IID& value = IID_INetFwOpenPorts; };
template <> struct InterfaceId<INetFwOpenPort> { static constexpr const IID& value = IID_INetFwOpenPort; };

} // namespace comrt
