#include "fake_platform.h"

#include "com/runtime/com_object.h"

namespace {

HRESULT StatusOf(Outcome outcome) { return outcome == Outcome::Fails ? E_FAIL : S_OK; }

// Hands out `made` unless the outcome says otherwise; gives it back then.
template <class T>
HRESULT HandOut(Outcome outcome, T* made, T** out)
{
    *out = nullptr;
    if (outcome == Outcome::Works) {
        *out = made;
        return S_OK;
    }
    made->Release();
    return StatusOf(outcome);
}

std::wstring Text(BSTR text) { return text == nullptr ? std::wstring() : std::wstring(text, SysStringLen(text)); }

class FakeMapping : public comrt::ComObject<IStaticPortMapping> {
public:
    FakeMapping(LONG port, std::wstring protocol, std::wstring client, std::wstring description)
        : port_(port), protocol_(std::move(protocol)), client_(std::move(client)), description_(std::move(description))
    {
    }
    HRESULT get_ExternalIPAddress(BSTR* address) override { return Out(L"11.77.0.1", address); }
    HRESULT get_ExternalPort(LONG* port) override { return *port = port_, S_OK; }
    HRESULT get_InternalPort(LONG* port) override { return *port = port_, S_OK; }
    HRESULT get_Protocol(BSTR* protocol) override { return Out(protocol_, protocol); }
    HRESULT get_InternalClient(BSTR* client) override { return Out(client_, client); }
    HRESULT get_Enabled(VARIANT_BOOL* enabled) override { return *enabled = VARIANT_TRUE, S_OK; }
    HRESULT get_Description(BSTR* description) override { return Out(description_, description); }

private:
    static HRESULT Out(const std::wstring& text, BSTR* out)
    {
        *out = SysAllocString(text.c_str());
        return *out ? S_OK : E_OUTOFMEMORY;
    }
    LONG port_;
    std::wstring protocol_, client_, description_;
};

class FakeCollection : public comrt::ComObject<IStaticPortMappingCollection> {
public:
    explicit FakeCollection(FakePlatform& platform) : platform_(platform) {}
    HRESULT Add(LONG externalPort, BSTR protocol, LONG internalPort, BSTR internalClient, VARIANT_BOOL enabled,
                BSTR description, IStaticPortMapping** mapping) override
    {
        platform_.calls.push_back("Add " + Narrow(Text(protocol)) + " " + std::to_string(externalPort) + "->" +
                                  Narrow(Text(internalClient)) + ":" + std::to_string(internalPort) + " '" +
                                  Narrow(Text(description)) + "' enabled=" + std::to_string(enabled));
        const bool refused = platform_.refuseMapping == Narrow(Text(protocol));
        return HandOut<IStaticPortMapping>(
            refused ? Outcome::Fails : platform_.addMapping, new FakeMapping(externalPort, Text(protocol), Text(internalClient), Text(description)),
            mapping);
    }

private:
    FakePlatform& platform_;
};

class FakeNat : public comrt::ComObject<IUPnPNAT> {
public:
    explicit FakeNat(FakePlatform& platform) : platform_(platform) {}
    HRESULT get_StaticPortMappingCollection(IStaticPortMappingCollection** collection) override
    {
        platform_.calls.push_back("get_StaticPortMappingCollection");
        return HandOut<IStaticPortMappingCollection>(platform_.getCollection, new FakeCollection(platform_), collection);
    }

private:
    FakePlatform& platform_;
};

class FakeOpenPort : public comrt::ComObject<INetFwOpenPort> {
public:
    FakeOpenPort(FakePlatform& platform, LONG port, NET_FW_IP_PROTOCOL protocol, std::wstring name, bool enabled)
        : platform_(platform), port_(port), protocol_(protocol), name_(std::move(name)), enabled_(enabled)
    {
    }
    HRESULT get_Port(LONG* port) override { return *port = port_, S_OK; }
    HRESULT put_Port(LONG port) override
    {
        platform_.calls.push_back("put_Port " + std::to_string(port));
        if (platform_.putPort != Outcome::Fails) port_ = port;
        return StatusOf(platform_.putPort);
    }
    HRESULT get_Protocol(NET_FW_IP_PROTOCOL* protocol) override { return *protocol = protocol_, S_OK; }
    HRESULT put_Protocol(NET_FW_IP_PROTOCOL protocol) override
    {
        platform_.calls.push_back("put_Protocol " + std::to_string(protocol));
        if (platform_.putProtocol != Outcome::Fails) protocol_ = protocol;
        return StatusOf(platform_.putProtocol);
    }
    HRESULT get_Name(BSTR* name) override
    {
        *name = SysAllocString(name_.c_str());
        return S_OK;
    }
    HRESULT put_Name(BSTR name) override
    {
        platform_.calls.push_back("put_Name " + Narrow(Text(name)));
        if (platform_.putName != Outcome::Fails) name_ = Text(name);
        return StatusOf(platform_.putName);
    }
    HRESULT get_Enabled(VARIANT_BOOL* enabled) override
    {
        platform_.calls.push_back("get_Enabled");
        if (platform_.getPortEnabled != Outcome::Works) return E_FAIL;
        *enabled = enabled_ ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    }

    // Read back by FakeOpenPorts::Add.
    FakePlatform& platform_;
    LONG port_;
    NET_FW_IP_PROTOCOL protocol_;
    std::wstring name_;
    bool enabled_;
};

class FakeOpenPorts : public comrt::ComObject<INetFwOpenPorts> {
public:
    explicit FakeOpenPorts(FakePlatform& platform) : platform_(platform) {}
    HRESULT Item(LONG port, NET_FW_IP_PROTOCOL protocol, INetFwOpenPort** openPort) override
    {
        platform_.calls.push_back("Item " + std::to_string(port) + " " + std::to_string(protocol));
        *openPort = nullptr;
        const auto found = platform_.openPorts.find({port, protocol});
        if (platform_.itemLookup == Outcome::Fails || found == platform_.openPorts.end()) return E_FAIL;
        return HandOut<INetFwOpenPort>(platform_.itemLookup,
                                       new FakeOpenPort(platform_, port, protocol, found->second.first,
                                                        found->second.second),
                                       openPort);
    }
    HRESULT Add(INetFwOpenPort* openPort) override
    {
        auto* entry = static_cast<FakeOpenPort*>(openPort);
        platform_.calls.push_back("OpenPorts.Add " + std::to_string(entry->port_) + " " +
                                  std::to_string(entry->protocol_) + " '" + Narrow(entry->name_) + "'");
        if (platform_.addOpenPort != Outcome::Works || platform_.refuseProtocol == entry->protocol_) return E_FAIL;
        platform_.openPorts[{entry->port_, entry->protocol_}] = {entry->name_, true};
        return S_OK;
    }

private:
    FakePlatform& platform_;
};

class FakeProfile : public comrt::ComObject<INetFwProfile> {
public:
    explicit FakeProfile(FakePlatform& platform) : platform_(platform) {}
    HRESULT get_FirewallEnabled(VARIANT_BOOL* enabled) override
    {
        platform_.calls.push_back("get_FirewallEnabled");
        if (platform_.getFirewallEnabled != Outcome::Works) return E_FAIL;
        *enabled = platform_.firewallEnabled ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    }
    HRESULT get_GloballyOpenPorts(INetFwOpenPorts** openPorts) override
    {
        platform_.calls.push_back("get_GloballyOpenPorts");
        return HandOut<INetFwOpenPorts>(platform_.getOpenPorts, new FakeOpenPorts(platform_), openPorts);
    }

private:
    FakePlatform& platform_;
};

class FakePolicy : public comrt::ComObject<INetFwPolicy> {
public:
    explicit FakePolicy(FakePlatform& platform) : platform_(platform) {}
    HRESULT get_CurrentProfile(INetFwProfile** profile) override
    {
        platform_.calls.push_back("get_CurrentProfile");
        return HandOut<INetFwProfile>(platform_.getCurrentProfile, new FakeProfile(platform_), profile);
    }

private:
    FakePlatform& platform_;
};

class FakeManager : public comrt::ComObject<INetFwMgr> {
public:
    explicit FakeManager(FakePlatform& platform) : platform_(platform) {}
    HRESULT get_LocalPolicy(INetFwPolicy** policy) override
    {
        platform_.calls.push_back("get_LocalPolicy");
        return HandOut<INetFwPolicy>(platform_.getLocalPolicy, new FakePolicy(platform_), policy);
    }

private:
    FakePlatform& platform_;
};

// A factory that logs the creation and honours the outcome set for it.
template <class Made>
comrt::ClassFactory FactoryOf(FakePlatform& platform, const char* name, Outcome FakePlatform::*outcome,
                              std::function<Made*()> make)
{
    return [&platform, name, outcome, make](REFIID iid, void** object) -> HRESULT {
        platform.calls.push_back(std::string("CoCreateInstance ") + name);
        *object = nullptr;
        if (platform.*outcome == Outcome::Fails) return REGDB_E_CLASSNOTREG;
        if (platform.*outcome == Outcome::LeavesNull) return S_OK;
        Made* made = make();
        const HRESULT hr = made->QueryInterface(iid, object);
        made->Release();
        return hr;
    };
}

} // namespace

void FakePlatform::Register()
{
    comrt::RegisterClass(CLSID_UPnPNAT, FactoryOf<FakeNat>(*this, "UPnPNAT", &FakePlatform::createNat,
                                                           [this] { return new FakeNat(*this); }));
    comrt::RegisterClass(CLSID_NetFwMgr, FactoryOf<FakeManager>(*this, "NetFwMgr", &FakePlatform::createManager,
                                                                [this] { return new FakeManager(*this); }));
    comrt::RegisterClass(CLSID_NetFwOpenPort,
                         FactoryOf<FakeOpenPort>(*this, "NetFwOpenPort", &FakePlatform::createOpenPort, [this] {
                             return new FakeOpenPort(*this, 0, NET_FW_IP_PROTOCOL_TCP, L"", true);
                         }));
}

std::vector<std::string> FakePlatform::CallsStartingWith(const std::string& prefix) const
{
    std::vector<std::string> matching;
    for (const std::string& call : calls)
        if (call.rfind(prefix, 0) == 0) matching.push_back(call);
    return matching;
}

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }
