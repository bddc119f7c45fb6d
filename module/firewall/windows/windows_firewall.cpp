#include "firewall/windows/windows_firewall.h"

#include "firewall/sentences.h"
#include "platform/com/com_ptr.h"

namespace firewall {
namespace {

// What Item answers for a port with no entry.
constexpr HRESULT kNoEntry = HRESULT_FROM_WIN32(2);

// A call that succeeds without handing out its reference did not work either.
template <class T>
HRESULT Yielded(HRESULT hr, const ComPtr<T>& reference)
{
    return SUCCEEDED(hr) && !reference ? E_POINTER : hr;
}

Status StatusOf(HRESULT hr)
{
    if (hr == S_FALSE) return Status::AlreadyOpen;
    if (SUCCEEDED(hr)) return Status::Ok;
    if (hr == E_ACCESSDENIED) return Status::AccessDenied;
    if (hr == kNoEntry) return Status::NotFound;
    if (hr == HRESULT_FROM_WIN32(1460)) return Status::TimedOut;  // ERROR_TIMEOUT
    return Status::Failed;
}

NET_FW_IP_PROTOCOL Number(Protocol protocol)
{
    return protocol == Protocol::Tcp ? NET_FW_IP_PROTOCOL_TCP : NET_FW_IP_PROTOCOL_UDP;
}

class WindowsFirewall final : public FirewallManager {
public:
    Status OpenProfile() override
    {
        if (FAILED(CoInitialize(nullptr))) return Status::Failed;
        ComPtr<INetFwMgr> manager;
        ComPtr<INetFwPolicy> policy;
        HRESULT hr = CoCreateInstance(CLSID_NetFwMgr, nullptr, CLSCTX_INPROC_SERVER, IID_INetFwMgr, manager.put_void());
        hr = Yielded(hr, manager);
        if (SUCCEEDED(hr)) hr = Yielded(manager->get_LocalPolicy(policy.put()), policy);
        if (SUCCEEDED(hr)) hr = Yielded(policy->get_CurrentProfile(profile_.put()), profile_);
        if (FAILED(hr)) {
            profile_.reset();
            return StatusOf(hr);
        }
        // Only a successful read of a non-zero FirewallEnabled counts as on.
        VARIANT_BOOL enabled = VARIANT_FALSE;
        hr = profile_->get_FirewallEnabled(&enabled);
        stateRead_ = SUCCEEDED(hr) ? Status::Ok : StatusOf(hr);
        on_ = SUCCEEDED(hr) && enabled != VARIANT_FALSE;
        if (stateRead_ != Status::Ok)
            Tell(sentence::StateUnread,
                 {{"hint", stateRead_ == Status::AccessDenied ? Compose(sentence::NeedsAdministrator).text : ""}});
        return Status::Ok;
    }

    bool Enabled() const override { return on_; }
    Status StateRead() const override { return stateRead_; }

    // Windows keeps no entry's name for the lookup: only whether an enabled one is there.
    Found FindOpenPort(const PortRequest& request) override
    {
        bool open = false;
        const HRESULT hr = IsPortOpen(request, open);
        if (FAILED(hr)) return {StatusOf(hr), {}};
        return {open ? Status::Ok : Status::NotFound, {}};
    }

    // An enabled entry of any name lets the port in already; a disabled one, or a lookup
    // that fails, does not. An empty name is no entry of ours.
    Opening OpenPort(const PortRequest& request) override
    {
        bool open = false;
        HRESULT hr = IsPortOpen(request, open);
        if (SUCCEEDED(hr)) hr = open ? S_FALSE : AddOpenPort(request);
        Opening opening{StatusOf(hr), static_cast<std::uint32_t>(hr), {}, {}};
        // A pinhole opened where the IPv4 forward failed has no entry of that forward to go through.
        if (FAILED(hr) && request.family == Family::Ipv6)
            opening.closedOverIpv6.push_back("the firewall did not let " + std::string(Name(request.protocol)) + " " +
                                             std::to_string(request.port) + " in" +
                                             (hr == E_ACCESSDENIED ? ": this needs an administrator" : "") +
                                             "; add an entry in its settings, or ask an administrator");
        return opening;
    }

    // An entry whose name cannot be read (E_ACCESSDENIED) cannot tell.
    Status FindOwnPort(const PortRequest& request) override
    {
        const Lookup found = LookUp(request);
        if (!found.listed) return StatusOf(found.status);
        if (found.status == kNoEntry || (SUCCEEDED(found.status) && !found.entry)) return Status::NotFound;
        if (FAILED(found.status)) return StatusOf(found.status);
        Bstr name;
        VARIANT_BOOL enabled = VARIANT_FALSE;
        HRESULT hr = S_OK;
        if (FAILED(hr = found.entry->get_Name(name.put())) || FAILED(hr = found.entry->get_Enabled(&enabled)))
            return StatusOf(hr);
        return name.ToWide() == request.name && enabled != VARIANT_FALSE ? Status::Ok : Status::NotFound;
    }

    // Windows' Remove goes by port and protocol alone: the name is read first, and an
    // entry whose name cannot be read (E_ACCESSDENIED) stays.
    Status ClosePort(const PortRequest& request) override
    {
        const Lookup found = LookUp(request);
        if (!found.listed) return StatusOf(found.status);
        if (found.status == E_ACCESSDENIED) return Status::AccessDenied;
        if (FAILED(found.status) || !found.entry) return Status::NotFound;
        Bstr name;
        if (const HRESULT hr = found.entry->get_Name(name.put()); FAILED(hr)) return StatusOf(hr);
        if (name.ToWide() != request.name) return Status::NotFound;
        return StatusOf(found.openPorts->Remove(request.port, Number(request.protocol)));
    }

private:
    // The profile's open ports and, in them, the entry for the request's port and
    // protocol: `listed` false with why the open ports could not be read, else the
    // lookup's answer (the entry may be null all the same).
    struct Lookup {
        bool listed = false;
        HRESULT status = E_FAIL;
        ComPtr<INetFwOpenPorts> openPorts;
        ComPtr<INetFwOpenPort> entry;
    };
    Lookup LookUp(const PortRequest& request)
    {
        Lookup found;
        found.status = Yielded(profile_->get_GloballyOpenPorts(found.openPorts.put()), found.openPorts);
        found.listed = SUCCEEDED(found.status);
        if (found.listed) found.status = found.openPorts->Item(request.port, Number(request.protocol), found.entry.put());
        return found;
    }

    HRESULT IsPortOpen(const PortRequest& request, bool& open)
    {
        open = false;
        const Lookup found = LookUp(request);
        if (!found.listed) return found.status;
        // A failed lookup just means the port is not open yet.
        if (FAILED(found.status) || !found.entry) return S_OK;
        VARIANT_BOOL enabled = VARIANT_FALSE;
        const HRESULT hr = found.entry->get_Enabled(&enabled);
        if (SUCCEEDED(hr)) open = enabled != VARIANT_FALSE;
        return hr;
    }

    HRESULT AddOpenPort(const PortRequest& request)
    {
        ComPtr<INetFwOpenPorts> openPorts;
        HRESULT hr = Yielded(profile_->get_GloballyOpenPorts(openPorts.put()), openPorts);
        if (FAILED(hr)) return hr;
        ComPtr<INetFwOpenPort> entry;
        hr = CoCreateInstance(CLSID_NetFwOpenPort, nullptr, CLSCTX_INPROC_SERVER, IID_INetFwOpenPort, entry.put_void());
        hr = Yielded(hr, entry);
        if (FAILED(hr)) return hr;
        if (FAILED(hr = entry->put_Port(request.port))) return hr;
        if (FAILED(hr = entry->put_Protocol(Number(request.protocol)))) return hr;
        const Bstr name(request.name);
        if (name.length() == 0) return E_OUTOFMEMORY;
        if (FAILED(hr = entry->put_Name(name.get()))) return hr;
        return openPorts->Add(entry.get());
    }

    ComPtr<INetFwProfile> profile_;
    bool on_ = false;
    Status stateRead_ = Status::Ok;
};

} // namespace

std::unique_ptr<FirewallManager> OpenWindowsFirewall() { return std::make_unique<WindowsFirewall>(); }

// The tests build this file on Linux too, beside the Linux managers.
#ifdef _WIN32
std::unique_ptr<FirewallManager> OpenMachineFirewall() { return OpenWindowsFirewall(); }
#endif

} // namespace firewall
