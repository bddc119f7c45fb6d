// The sentences a forward request writes on standard error: what became of each
// protocol on the gateway and in the firewall, in words a user follows. Only what the
// COM interfaces tell us; our platform classes add what they alone know.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "firewall/firewall_manager.h"
#include "forward/forward_outcome.h"
#include "gateway/grant.h"

// 604800 -> "7 days": seconds in their largest unit, rounded.
std::string Span(long long seconds);

// "TCP" or "UDP" for the protocol character of Varneth::Add.
std::string ProtocolName(wchar_t protocol);

void ReportPortOutOfRange(wchar_t protocol, std::int32_t port);
void ReportNotMapped(wchar_t protocol, std::int32_t port);

// Reports the mapping the gateway holds and for how long; returns "address:port" to
// share with users on the Internet, empty when the grant holds no plain IPv4 address.
std::string ReportMapped(wchar_t protocol, std::int32_t port, const std::wstring& internalAddress,
                         const gateway::Grant& grant);
// One protocol mapped on the gateway, the other not.
void ReportPartlyMapped(std::int32_t port, wchar_t mapped, wchar_t notMapped);

void ReportFirewallProfile(firewall::Status profile, firewall::Status state, bool firewallOn);
void ReportFirewallPort(wchar_t protocol, std::int32_t port, const firewall::Opening& opened);
void ReportFirewallSkipped(wchar_t protocol, std::int32_t port);

// The line the window shows first in its success box: "Reachable at 11.77.0.1:8080".
void ReportReachable(const std::string& endpoint);
// The success's headline: how long the gateway keeps the port, from the shortest lease,
// and how often it is renewed, and while what; `over` names the family when only IPv6 got it
// (" over IPv6").
void ReportLasting(std::int32_t port, long long leaseSeconds, Renewal renewal, const std::string& over = {});
