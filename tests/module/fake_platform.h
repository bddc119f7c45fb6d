// The NAT UPnP and firewall classes, faked in the COM stand-in (windows_com_test.cpp):
// every call made of them is logged in order, and any call can be made to fail or to
// succeed without handing out its reference.
#pragma once

#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>


// LeavesNull: S_OK with nothing handed out (no reference, false); a put just works.
enum class Outcome { Works, Fails, LeavesNull };

struct FakePlatform {
    // Keyed by the start of a call's log line: "get_LocalPolicy", "Add UDP", "OpenPorts.Add UDP".
    std::map<std::string, Outcome> outcomes;
    std::set<std::pair<long, int>> openPorts;  // firewall entries: (port, protocol)
    std::vector<std::string> calls;            // e.g. "Add TCP 8080->10.0.0.5:8080 'HLMX 8080 TCP' 1"

    Outcome Log(const std::string& call)
    {
        calls.push_back(call);
        for (const auto& [start, outcome] : outcomes)
            if (call.rfind(start, 0) == 0) return outcome;
        return Outcome::Works;
    }
};
