// Fake NAT UPnP and firewall classes registered in the module's COM runtime. Each
// platform call can be made to fail or to succeed without handing out its
// reference, and every call the module makes is logged in order.
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "com/com_api.h"

enum class Outcome {
    Works,       // success with the reference or value
    Fails,       // E_FAIL
    LeavesNull,  // S_OK without the reference (a put, which hands none out, just succeeds)
};

struct FakePlatform {
    // NAT UPnP
    Outcome createNat = Outcome::Works;
    Outcome getCollection = Outcome::Works;
    Outcome addMapping = Outcome::Works;
    // Firewall
    Outcome createManager = Outcome::Works;
    Outcome getLocalPolicy = Outcome::Works;
    Outcome getCurrentProfile = Outcome::Works;
    Outcome getFirewallEnabled = Outcome::Works;
    bool firewallEnabled = true;
    Outcome getOpenPorts = Outcome::Works;
    Outcome itemLookup = Outcome::Works;  // Works: found when in openPorts, else fails
    Outcome getPortEnabled = Outcome::Works;
    Outcome createOpenPort = Outcome::Works;
    Outcome putPort = Outcome::Works;
    Outcome putProtocol = Outcome::Works;
    Outcome putName = Outcome::Works;
    Outcome addOpenPort = Outcome::Works;
    // A failing openPorts->Add for this protocol only (0: none).
    int refuseProtocol = 0;
    // A failing collection->Add for this protocol only ("TCP", "UDP"; empty: none).
    std::string refuseMapping;

    // Firewall entries: (port, protocol) -> (name, enabled)
    std::map<std::pair<long, int>, std::pair<std::wstring, bool>> openPorts;
    // Every call, e.g. "Add TCP 8080->10.0.0.5:8080 'HLMX 8080 TCP'".
    std::vector<std::string> calls;

    // Registers the fake classes for CLSID_UPnPNAT, CLSID_NetFwMgr and CLSID_NetFwOpenPort.
    void Register();
    std::vector<std::string> CallsStartingWith(const std::string& prefix) const;
};

// Narrow text for call logs and assertions.
std::string Narrow(const std::wstring& text);
