// Lets a port in through the local firewall's current profile.
#pragma once

#include <cstdint>
#include <string>

#include "com/com_ptr.h"

struct FirewallState {
    ComPtr<INetFwProfile> Profile;
    bool ProfileObtained = false;
    bool FirewallOn = false;
};

// Fills state.Profile with the current profile; the status of the last step that ran.
HRESULT OpenFirewallProfile(FirewallState& state);

// Whether the firewall is on, in `on`: the status of reading FirewallEnabled.
HRESULT ReadFirewallEnabled(INetFwProfile* profile, bool& on);

// Only a successful read of a non-zero FirewallEnabled counts as on.
bool IsFirewallOn(INetFwProfile* profile);

// Whether an enabled entry of any name lets the port in: S_OK with `open`, else the failure.
HRESULT IsPortOpen(INetFwProfile* profile, std::int32_t port, NET_FW_IP_PROTOCOL protocol, bool& open);

// Adds the port to the globally open ports under `name`, unless an enabled entry for
// the port and protocol is there already: then S_FALSE, and nothing is added.
HRESULT OpenFirewallPort(INetFwProfile* profile, std::int32_t port, NET_FW_IP_PROTOCOL protocol,
                         const std::wstring& name);

// Removes the globally open port's entry when it carries `name`: S_OK when removed,
// S_FALSE when there is none of that name (another's entry stays), else the failure.
// Windows' Remove goes by port and protocol alone, so the name is checked first, and an
// entry whose name cannot be read (E_ACCESSDENIED) stays. Our own firewall classes
// remove only the tool's entry themselves: S_OK once none of it is left.
HRESULT CloseFirewallPort(INetFwProfile* profile, std::int32_t port, NET_FW_IP_PROTOCOL protocol,
                          const std::wstring& name);

// Whether the globally open port's entry under `name` is there and enabled, read only:
// S_OK with `held` (false when there is no entry, another's or a disabled one), else
// the failure (E_ACCESSDENIED where the entries cannot be read with our rights).
HRESULT FindOwnFirewallPort(INetFwProfile* profile, std::int32_t port, NET_FW_IP_PROTOCOL protocol,
                            const std::wstring& name, bool& held);
