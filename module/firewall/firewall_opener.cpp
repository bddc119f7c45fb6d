#include "firewall/firewall_opener.h"

namespace {

// A call that succeeds without handing out its reference did not work either.
template <class T>
HRESULT Yielded(HRESULT hr, const ComPtr<T>& reference)
{
    return SUCCEEDED(hr) && !reference ? E_POINTER : hr;
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

HRESULT ReadFirewallEnabled(INetFwProfile* profile, bool& on)
{
    VARIANT_BOOL enabled = VARIANT_FALSE;
    const HRESULT hr = profile->get_FirewallEnabled(&enabled);
    on = SUCCEEDED(hr) && enabled != VARIANT_FALSE;
    return hr;
}

bool IsFirewallOn(INetFwProfile* profile)
{
    bool on = false;
    return SUCCEEDED(ReadFirewallEnabled(profile, on)) && on;
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

namespace {

// firewalld keeps no names and answers with an empty one; on Windows every entry has
// its own, and an empty one is not ours.
bool CarriesName(const std::wstring& held, const std::wstring& name)
{
#ifdef _WIN32
    return held == name;
#else
    return held.empty() || held == name;
#endif
}

} // namespace

HRESULT CloseFirewallPort(INetFwProfile* profile, std::int32_t port, NET_FW_IP_PROTOCOL protocol,
                          const std::wstring& name)
{
    ComPtr<INetFwOpenPorts> openPorts;
    HRESULT hr = Yielded(profile->get_GloballyOpenPorts(openPorts.put()), openPorts);
    if (FAILED(hr)) return hr;
#ifndef _WIN32
    // Our firewall classes remove only the tool's own entry, by its name (ufw) or by the
    // record (firewalld, which keeps none), with the rights they have, wherever it stands:
    // also behind a rule of another's that decides the port first, and is what the port's
    // entry reads as.
    static_cast<void>(name);
    return openPorts->Remove(port, protocol);
#else
    ComPtr<INetFwOpenPort> entry;
    hr = openPorts->Item(port, protocol, entry.put());
    // Windows' Remove goes by port alone: an entry whose name cannot be read stays.
    if (hr == E_ACCESSDENIED) return hr;
    if (FAILED(hr) || !entry) return S_FALSE;
    Bstr entryName;
    if (FAILED(hr = entry->get_Name(entryName.put()))) return hr;
    if (!CarriesName(entryName.ToWide(), name)) return S_FALSE;
    return openPorts->Remove(port, protocol);
#endif
}

HRESULT FindOwnFirewallPort(INetFwProfile* profile, std::int32_t port, NET_FW_IP_PROTOCOL protocol,
                            const std::wstring& name, bool& held)
{
    // What Item answers for a port with no entry, on Windows and from our own classes.
    constexpr HRESULT kNoEntry = HRESULT_FROM_WIN32(2);
    held = false;
    ComPtr<INetFwOpenPorts> openPorts;
    HRESULT hr = Yielded(profile->get_GloballyOpenPorts(openPorts.put()), openPorts);
    if (FAILED(hr)) return hr;
    ComPtr<INetFwOpenPort> entry;
    hr = openPorts->Item(port, protocol, entry.put());
    if (hr == kNoEntry || (SUCCEEDED(hr) && !entry)) return S_OK;
    if (FAILED(hr)) return hr;
    Bstr entryName;
    VARIANT_BOOL enabled = VARIANT_FALSE;
    if (FAILED(hr = entry->get_Name(entryName.put())) || FAILED(hr = entry->get_Enabled(&enabled))) return hr;
    held = CarriesName(entryName.ToWide(), name) && enabled != VARIANT_FALSE;
    return S_OK;
}
