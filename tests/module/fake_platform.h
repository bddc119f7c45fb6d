// The NAT UPnP and firewall classes, faked in the COM stand-in (the NAT object in
// fake_windows_nat.cpp, Windows Firewall in fake_windows_firewall.cpp): every call made
// of them is logged in order, and any call can be made to fail or to succeed without
// handing out its reference.
#pragma once

#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/com/com_api.h"
#include "text_lines.h"

// LeavesNull: S_OK with nothing handed out (no reference, false); a put just works.
enum class Outcome { Works, Fails, LeavesNull };

struct FakePlatform {
    // Keyed by the start of a call's log line: "get_LocalPolicy", "Add UDP", "OpenPorts.Add UDP".
    std::map<std::string, Outcome> outcomes;
    std::set<std::pair<long, int>> openPorts;  // firewall entries: (port, protocol)
    std::vector<std::string> calls;            // e.g. "Add TCP 8080->10.0.0.5:8080 'HLMX 8080 TCP' 1"

    Outcome Log(const std::string& call);
};

void RegisterFakeNat(FakePlatform& platform);       // fake_windows_nat.cpp: CLSID_UPnPNAT
void RegisterFakeFirewall(FakePlatform& platform);  // fake_windows_firewall.cpp: CLSID_NetFwMgr, CLSID_NetFwOpenPort

inline Outcome FakePlatform::Log(const std::string& call)
{
    calls.push_back(call);
    for (const auto& [start, outcome] : outcomes)
        if (call.rfind(start, 0) == 0) return outcome;
    return Outcome::Works;
}

// What both fakes answer with.
namespace fake_com {

inline HRESULT StatusOf(Outcome outcome) { return outcome == Outcome::Fails ? E_FAIL : S_OK; }

// Hands out another reference to `self` when the call works.
template <class T>
HRESULT HandOut(Outcome outcome, T* self, T** out)
{
    *out = outcome == Outcome::Works ? self : nullptr;
    if (*out != nullptr) self->AddRef();
    return StatusOf(outcome);
}

inline HRESULT Answer(Outcome outcome, VARIANT_BOOL* yes)
{
    *yes = outcome == Outcome::Works ? VARIANT_TRUE : VARIANT_FALSE;
    return StatusOf(outcome);
}

inline std::string Text(BSTR text) { return NarrowToBytes(text == nullptr ? L"" : std::wstring(text, SysStringLen(text))); }

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

} // namespace fake_com
