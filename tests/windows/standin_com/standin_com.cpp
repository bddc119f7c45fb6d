// Stand-ins for Windows' own COM servers, for the Wine tests: one in-process server that,
// registered under a class, serves it. Under the Windows Firewall's classes (Wine's reports
// itself off and keeps no ports) it is on and keeps its globally open ports as "PORT
// PROTOCOL NAME" lines in the file named by KAVRO_STANDIN_FIREWALL; as Windows' own, Remove
// goes by port and protocol alone, whatever the entry's name. Under the NAT object's class
// it is a locked-up NAT UPnP service: get_StaticPortMappingCollection never returns.
// The server's one file, so it defines the identifiers it uses.
#include <initguid.h>

#include <windows.h>
#include <netfw.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <type_traits>
#include <vector>

#include "platform/com/natupnp_windows.h"

// The NAT object's interface as __uuidof knows the others.
__CRT_UUID_DECL(IUPnPNAT, 0xB171C812, 0xCC76, 0x485A, 0x94, 0xD8, 0xB6, 0xB3, 0xA2, 0x79, 0x4E, 0x99)

namespace {

// Reference counting, and QueryInterface for the interfaces an object implements (and
// IDispatch, whose calls no test makes).
template <class First, class... More>
class StandIn : public First, public More... {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
    {
        if (object == nullptr) return E_POINTER;
        const bool dispatch = std::is_base_of_v<IDispatch, First> && iid == IID_IDispatch;
        *object = nullptr;
        if (iid == IID_IUnknown || dispatch || iid == __uuidof(First)) *object = static_cast<First*>(this);
        ((iid == __uuidof(More) ? *object = static_cast<More*>(this) : nullptr), ...);
        if (*object == nullptr) return E_NOINTERFACE;
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
    virtual ~StandIn() = default;
    // Another reference to this object as `Interface`, in `place`.
    template <class Interface>
    HRESULT Give(Interface** place)
    {
        *place = this;
        AddRef();
        return S_OK;
    }

private:
    std::atomic<ULONG> references_{1};
};

// An object whose interfaces derive from IDispatch, which it does not serve.
template <class... Interfaces>
struct DispatchStandIn : StandIn<Interfaces...> {
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override
    {
        return E_NOTIMPL;
    }
};

// `made` (its one reference ours) as the interface `iid`, in `object`.
template <class Made>
HRESULT HandOutAs(Made* made, REFIID iid, void** object)
{
    const HRESULT status = made->QueryInterface(iid, object);
    made->Release();
    return status;
}

struct Entry {
    LONG port = 0;
    LONG protocol = 0;
    std::string name; // ASCII, as the module names its entries
};

std::string FilePath()
{
    const char* path = std::getenv("KAVRO_STANDIN_FIREWALL");
    return path == nullptr ? std::string() : path;
}

std::vector<Entry> ReadEntries()
{
    std::vector<Entry> entries;
    std::ifstream in(FilePath());
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        Entry entry;
        if (!(fields >> entry.port >> entry.protocol)) continue;
        std::getline(fields >> std::ws, entry.name);
        entries.push_back(entry);
    }
    return entries;
}

HRESULT WriteEntries(const std::vector<Entry>& entries)
{
    std::ofstream out(FilePath(), std::ios::binary | std::ios::trunc);
    for (const Entry& entry : entries) out << entry.port << ' ' << entry.protocol << ' ' << entry.name << '\n';
    return out ? S_OK : E_FAIL;
}

class OpenPort final : public DispatchStandIn<INetFwOpenPort> {
public:
    OpenPort() = default;
    explicit OpenPort(Entry entry) : entry_(std::move(entry)) {}
    const Entry& Held() const { return entry_; }

    HRESULT STDMETHODCALLTYPE get_Name(BSTR* name) override
    {
        *name = SysAllocString(std::wstring(entry_.name.begin(), entry_.name.end()).c_str());
        return *name ? S_OK : E_OUTOFMEMORY;
    }
    HRESULT STDMETHODCALLTYPE put_Name(BSTR name) override
    {
        entry_.name.assign(name, name + SysStringLen(name));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_IpVersion(NET_FW_IP_VERSION*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_IpVersion(NET_FW_IP_VERSION) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Protocol(NET_FW_IP_PROTOCOL*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_Protocol(NET_FW_IP_PROTOCOL protocol) override { entry_.protocol = protocol; return S_OK; }
    HRESULT STDMETHODCALLTYPE get_Port(LONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_Port(LONG port) override { entry_.port = port; return S_OK; }
    HRESULT STDMETHODCALLTYPE get_Scope(NET_FW_SCOPE*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_Scope(NET_FW_SCOPE) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_RemoteAddresses(BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_RemoteAddresses(BSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Enabled(VARIANT_BOOL* enabled) override { *enabled = VARIANT_TRUE; return S_OK; }
    HRESULT STDMETHODCALLTYPE put_Enabled(VARIANT_BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_BuiltIn(VARIANT_BOOL*) override { return E_NOTIMPL; }

private:
    Entry entry_;
};

// The manager, which is also its own policy, profile and globally open ports.
class Firewall final : public DispatchStandIn<INetFwMgr, INetFwPolicy, INetFwProfile, INetFwOpenPorts> {
public:
    HRESULT STDMETHODCALLTYPE get_LocalPolicy(INetFwPolicy** policy) override { return Give(policy); }
    HRESULT STDMETHODCALLTYPE get_CurrentProfileType(NET_FW_PROFILE_TYPE*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE RestoreDefaults() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE IsPortAllowed(BSTR, NET_FW_IP_VERSION, LONG, BSTR, NET_FW_IP_PROTOCOL, VARIANT*,
                                            VARIANT*) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE IsIcmpTypeAllowed(NET_FW_IP_VERSION, BSTR, BYTE, VARIANT*, VARIANT*) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE get_CurrentProfile(INetFwProfile** profile) override { return Give(profile); }
    HRESULT STDMETHODCALLTYPE GetProfileByType(NET_FW_PROFILE_TYPE, INetFwProfile**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Type(NET_FW_PROFILE_TYPE*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_FirewallEnabled(VARIANT_BOOL* enabled) override { *enabled = VARIANT_TRUE; return S_OK; }
    HRESULT STDMETHODCALLTYPE put_FirewallEnabled(VARIANT_BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_ExceptionsNotAllowed(VARIANT_BOOL*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_ExceptionsNotAllowed(VARIANT_BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_NotificationsDisabled(VARIANT_BOOL*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_NotificationsDisabled(VARIANT_BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_UnicastResponsesToMulticastBroadcastDisabled(VARIANT_BOOL*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_UnicastResponsesToMulticastBroadcastDisabled(VARIANT_BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_RemoteAdminSettings(INetFwRemoteAdminSettings**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_IcmpSettings(INetFwIcmpSettings**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_GloballyOpenPorts(INetFwOpenPorts** openPorts) override { return Give(openPorts); }
    HRESULT STDMETHODCALLTYPE get_Services(INetFwServices**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_AuthorizedApplications(INetFwAuthorizedApplications**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Count(LONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Add(INetFwOpenPort* port) override
    {
        std::vector<Entry> entries = ReadEntries();
        entries.push_back(static_cast<OpenPort*>(port)->Held());
        return WriteEntries(entries);
    }
    HRESULT STDMETHODCALLTYPE Remove(LONG port, NET_FW_IP_PROTOCOL protocol) override
    {
        std::vector<Entry> kept;
        for (const Entry& entry : ReadEntries())
            if (entry.port != port || entry.protocol != protocol) kept.push_back(entry);
        return WriteEntries(kept);
    }
    HRESULT STDMETHODCALLTYPE Item(LONG port, NET_FW_IP_PROTOCOL protocol, INetFwOpenPort** openPort) override
    {
        for (const Entry& entry : ReadEntries())
            if (entry.port == port && entry.protocol == protocol) {
                *openPort = new OpenPort(entry);
                return S_OK;
            }
        return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    }
    HRESULT STDMETHODCALLTYPE get__NewEnum(IUnknown**) override { return E_NOTIMPL; }
};

class HangingNat final : public DispatchStandIn<IUPnPNAT> {
public:
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

// Makes an object of the class it was asked for.
class Factory final : public StandIn<IClassFactory> {
public:
    explicit Factory(REFCLSID clsid) : clsid_(clsid) {}

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override
    {
        if (outer != nullptr) return CLASS_E_NOAGGREGATION;
        if (clsid_ == CLSID_NetFwMgr) return HandOutAs(new Firewall(), iid, object);
        if (clsid_ == CLSID_UPnPNAT) return HandOutAs(new HangingNat(), iid, object);
        return HandOutAs(new OpenPort(), iid, object);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

private:
    const CLSID clsid_;
};

} // namespace

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID iid, void** object)
{
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (clsid != CLSID_NetFwMgr && clsid != CLSID_NetFwOpenPort && clsid != CLSID_UPnPNAT)
        return CLASS_E_CLASSNOTAVAILABLE;
    return HandOutAs(new Factory(clsid), iid, object);
}

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE DllCanUnloadNow() { return S_FALSE; }
