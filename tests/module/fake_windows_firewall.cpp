#include "fake_platform.h"

namespace {

using namespace fake_com;

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
    // Closing goes through the name, which only Wine's runs have (tests/windows/standin_firewall).
    HRESULT Remove(LONG, NET_FW_IP_PROTOCOL) override { return E_NOTIMPL; }
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

} // namespace

void RegisterFakeFirewall(FakePlatform& platform)
{
    comrt::RegisterClass(CLSID_NetFwMgr, Factory<FakeFirewall, INetFwMgr>(platform, "NetFwMgr"));
    comrt::RegisterClass(CLSID_NetFwOpenPort, Factory<FakeFirewall, INetFwOpenPort>(platform, "NetFwOpenPort"));
}
