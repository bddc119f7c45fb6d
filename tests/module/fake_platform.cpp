#include "fake_platform.h"

#include "com/runtime/com_object.h"
#include "gateway/mapping_lease.h"
#include "text_lines.h"

namespace {

HRESULT StatusOf(Outcome outcome) { return outcome == Outcome::Fails ? E_FAIL : S_OK; }

// Hands out another reference to `self` when the call works.
template <class T>
HRESULT HandOut(Outcome outcome, T* self, T** out)
{
    *out = outcome == Outcome::Works ? self : nullptr;
    if (*out != nullptr) self->AddRef();
    return StatusOf(outcome);
}

HRESULT Answer(Outcome outcome, VARIANT_BOOL* yes)
{
    *yes = outcome == Outcome::Works ? VARIANT_TRUE : VARIANT_FALSE;
    return StatusOf(outcome);
}

std::string Text(BSTR text) { return NarrowToBytes(text == nullptr ? L"" : std::wstring(text, SysStringLen(text))); }

// The NAT object is also its own mapping collection and every mapping, of which the
// module reads only the external address and the lease (of the protocol last added).
class FakeNat
    : public comrt::ComObject<IUPnPNAT, IStaticPortMappingCollection, IStaticPortMapping, IMappingLease> {
public:
    explicit FakeNat(FakePlatform& platform) : platform_(platform) {}
    HRESULT get_StaticPortMappingCollection(IStaticPortMappingCollection** collection) override
    {
        return HandOut<IStaticPortMappingCollection>(platform_.Log("get_StaticPortMappingCollection"), this, collection);
    }
    HRESULT Add(LONG externalPort, BSTR protocol, LONG internalPort, BSTR client, VARIANT_BOOL enabled,
                BSTR description, IStaticPortMapping** mapping) override
    {
        protocol_ = Text(protocol);
        return HandOut<IStaticPortMapping>(platform_.Log("Add " + Text(protocol) + " " + std::to_string(externalPort) + "->" +
                                                         Text(client) + ":" + std::to_string(internalPort) + " '" +
                                                         Text(description) + "' " + std::to_string(enabled)),
                                           this, mapping);
    }
    HRESULT get_ExternalIPAddress(BSTR* address) override { return (*address = SysAllocString(L"11.77.0.1")) ? S_OK : E_OUTOFMEMORY; }
    HRESULT get_ExternalPort(LONG*) override { return E_NOTIMPL; }
    HRESULT get_InternalPort(LONG*) override { return E_NOTIMPL; }
    HRESULT get_Protocol(BSTR*) override { return E_NOTIMPL; }
    HRESULT get_InternalClient(BSTR*) override { return E_NOTIMPL; }
    HRESULT get_Enabled(VARIANT_BOOL*) override { return E_NOTIMPL; }
    HRESULT get_Description(BSTR*) override { return E_NOTIMPL; }
    HRESULT get_LeaseSeconds(LONG* seconds) override
    {
        *seconds = platform_.leases[protocol_];
        return StatusOf(platform_.Log("get_LeaseSeconds"));
    }

private:
    FakePlatform& platform_;
    std::string protocol_;
};

// The firewall manager is also its own policy, profile and open ports; an open port
// entry is another object of the same class.
class FakeFirewall : public comrt::ComObject<INetFwMgr, INetFwPolicy, INetFwProfile, INetFwOpenPorts, INetFwOpenPort> {
public:
    explicit FakeFirewall(FakePlatform& platform) : platform_(platform) {}
    HRESULT get_LocalPolicy(INetFwPolicy** policy) override { return HandOut<INetFwPolicy>(platform_.Log("get_LocalPolicy"), this, policy); }
    HRESULT get_CurrentProfile(INetFwProfile** profile) override { return HandOut<INetFwProfile>(platform_.Log("get_CurrentProfile"), this, profile); }
    HRESULT get_FirewallEnabled(VARIANT_BOOL* enabled) override { return Answer(platform_.Log("get_FirewallEnabled"), enabled); }
    HRESULT get_GloballyOpenPorts(INetFwOpenPorts** ports) override { return HandOut<INetFwOpenPorts>(platform_.Log("get_GloballyOpenPorts"), this, ports); }
    // Found when the entry is there: a failing lookup is how a missing entry shows.
    HRESULT Item(LONG port, NET_FW_IP_PROTOCOL protocol, INetFwOpenPort** entry) override
    {
        const Outcome outcome = platform_.Log("Item " + std::to_string(port) + " " + std::to_string(protocol));
        *entry = nullptr;
        if (outcome == Outcome::Fails || platform_.openPorts.count({port, protocol}) == 0) return E_FAIL;
        auto* found = new FakeFirewall(platform_);
        const HRESULT status = HandOut<INetFwOpenPort>(outcome, found, entry);
        found->Release();
        return status;
    }
    HRESULT Add(INetFwOpenPort* openPort) override
    {
        const auto* entry = static_cast<FakeFirewall*>(openPort);
        const std::string protocol = entry->protocol_ == NET_FW_IP_PROTOCOL_TCP   ? "TCP"
                                     : entry->protocol_ == NET_FW_IP_PROTOCOL_UDP ? "UDP"
                                                                                  : std::to_string(entry->protocol_);
        if (platform_.Log("OpenPorts.Add " + protocol + " " + std::to_string(entry->port_) + " '" + entry->name_ + "'") !=
            Outcome::Works)
            return E_FAIL;
        platform_.openPorts.insert({entry->port_, entry->protocol_});
        return S_OK;
    }
    HRESULT Remove(LONG port, NET_FW_IP_PROTOCOL protocol) override
    {
        if (platform_.Log("OpenPorts.Remove " + std::to_string(port) + " " + std::to_string(protocol)) != Outcome::Works)
            return E_FAIL;
        platform_.openPorts.erase({port, protocol});
        return S_OK;
    }
    HRESULT get_Port(LONG*) override { return E_NOTIMPL; }
    HRESULT get_Protocol(NET_FW_IP_PROTOCOL*) override { return E_NOTIMPL; }
    HRESULT get_Name(BSTR*) override { return E_NOTIMPL; }
    HRESULT put_Port(LONG port) override { return Put("put_Port " + std::to_string(port), port_, port); }
    HRESULT put_Protocol(NET_FW_IP_PROTOCOL protocol) override { return Put("put_Protocol " + std::to_string(protocol), protocol_, protocol); }
    HRESULT put_Name(BSTR name) override { return Put("put_Name " + Text(name), name_, Text(name)); }
    HRESULT get_Enabled(VARIANT_BOOL* enabled) override { return Answer(platform_.Log("get_Enabled"), enabled); }

private:
    template <class T>
    HRESULT Put(const std::string& call, T& field, T value)
    {
        const HRESULT status = StatusOf(platform_.Log(call));
        if (SUCCEEDED(status)) field = value;
        return status;
    }
    FakePlatform& platform_;
    LONG port_ = 0;
    NET_FW_IP_PROTOCOL protocol_ = NET_FW_IP_PROTOCOL_TCP;
    std::string name_;
};

template <class Made, class Interface>
comrt::ClassFactory Factory(FakePlatform& platform, const std::string& name)
{
    return [&platform, name](REFIID iid, void** object) -> HRESULT {
        *object = nullptr;
        const Outcome outcome = platform.Log("CoCreateInstance " + name);
        if (outcome != Outcome::Works) return outcome == Outcome::Fails ? REGDB_E_CLASSNOTREG : S_OK;
        Interface* made = new Made(platform);
        const HRESULT hr = made->QueryInterface(iid, object);
        made->Release();
        return hr;
    };
}

} // namespace

void FakePlatform::Register()
{
    comrt::RegisterClass(CLSID_UPnPNAT, Factory<FakeNat, IUPnPNAT>(*this, "UPnPNAT"));
    comrt::RegisterClass(CLSID_NetFwMgr, Factory<FakeFirewall, INetFwMgr>(*this, "NetFwMgr"));
    comrt::RegisterClass(CLSID_NetFwOpenPort, Factory<FakeFirewall, INetFwOpenPort>(*this, "NetFwOpenPort"));
}

Outcome FakePlatform::Log(const std::string& call)
{
    calls.push_back(call);
    for (const auto& [start, outcome] : outcomes)
        if (call.rfind(start, 0) == 0) return outcome;
    return Outcome::Works;
}
