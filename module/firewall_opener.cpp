#include "firewall_opener.h"

namespace {

// A call that succeeds without handing out its reference did not work either.
template <class T>
HRESULT Yielded(HRESULT hr, const ComPtr<T>& reference)
{
    return SUCCEEDED(hr) && !reference ? E_POINTER : hr;
}

HRESULT IsPortOpen(INetFwProfile* profile, std::int32_t port, NET_FW_IP_PROTOCOL protocol, bool& open)
{
    open = false;
    ComPtr<INetFwOpenPorts> openPorts;
    HRESULT hr = Yielded(profile->get_GloballyOpenPorts(openPorts.put()), openPorts);
    if (FAILED(hr)) return hr;
    ComPtr<INetFwOpenPort> entry;
    // A failed lookup just means the port is not open yet.
    if (FAILED(openPorts->Item(port, protocol, entry.put())) || !entry) return S_OK;
    VARIANT_BOOL enabled = VARIANT_FALSE;
    hr = entry->get_Enabled(&enabled);
    if (SUCCEEDED(hr)) open = enabled != VARIANT_FALSE;
    return hr;
}

HRESULT AddOpenPort(INetFwProfile* profile, std::int32_t port, NET_FW_IP_PROTOCOL protocol, const std::wstring& name)
{
    ComPtr<INetFwOpenPorts> openPorts;
    HRESULT hr = Yielded(profile->get_GloballyOpenPorts(openPorts.put()), openPorts);
    if (FAILED(hr)) return hr;
    ComPtr<INetFwOpenPort> entry;
    hr = CoCreateInstance(CLSID_NetFwOpenPort, nullptr, CLSCTX_INPROC_SERVER, IID_INetFwOpenPort, entry.put_void());
    hr = Yielded(hr, entry);
    if (FAILED(hr)) return hr;
    if (FAILED(hr = entry->put_Port(port))) return hr;
    if (FAILED(hr = entry->put_Protocol(protocol))) return hr;
    const Bstr entryName(name);
    if (entryName.length() == 0) return E_OUTOFMEMORY;
    if (FAILED(hr = entry->put_Name(entryName.get()))) return hr;
    return openPorts->Add(entry.get());
}

} // namespace

HRESULT OpenFirewallProfile(FirewallState& state)
{
    ComPtr<INetFwMgr> manager;
    ComPtr<INetFwPolicy> policy;
    HRESULT hr = CoCreateInstance(CLSID_NetFwMgr, nullptr, CLSCTX_INPROC_SERVER, IID_INetFwMgr, manager.put_void());
    hr = Yielded(hr, manager);
    if (SUCCEEDED(hr)) hr = Yielded(manager->get_LocalPolicy(policy.put()), policy);
    if (SUCCEEDED(hr)) hr = Yielded(policy->get_CurrentProfile(state.Profile.put()), state.Profile);
    if (FAILED(hr)) state.Profile.reset();
    return hr;
}

bool IsFirewallOn(INetFwProfile* profile)
{
    VARIANT_BOOL enabled = VARIANT_FALSE;
    return SUCCEEDED(profile->get_FirewallEnabled(&enabled)) && enabled != VARIANT_FALSE;
}

HRESULT OpenFirewallPort(INetFwProfile* profile, std::int32_t port, NET_FW_IP_PROTOCOL protocol,
                         const std::wstring& name)
{
    bool open = false;
    const HRESULT hr = IsPortOpen(profile, port, protocol, open);
    if (FAILED(hr)) return hr;
    if (open) return S_FALSE;
    return AddOpenPort(profile, port, protocol, name);
}

HRESULT CloseFirewallPort(INetFwProfile* profile, std::int32_t port, NET_FW_IP_PROTOCOL protocol,
                          const std::wstring& name)
{
    ComPtr<INetFwOpenPorts> openPorts;
    HRESULT hr = Yielded(profile->get_GloballyOpenPorts(openPorts.put()), openPorts);
    if (FAILED(hr)) return hr;
    ComPtr<INetFwOpenPort> entry;
    hr = openPorts->Item(port, protocol, entry.put());
    // Entries we may not read: the firewall checks the name itself, with the rights it has.
    if (hr == E_ACCESSDENIED) return openPorts->Remove(port, protocol);
    if (FAILED(hr) || !entry) return S_FALSE;
    Bstr entryName;
    if (FAILED(hr = entry->get_Name(entryName.put()))) return hr;
    const std::wstring held = entryName.ToWide();
    if (!held.empty() && held != name) return S_FALSE;
    return openPorts->Remove(port, protocol);
}
