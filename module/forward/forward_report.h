// The sentences a forward request writes on standard error: what became of each
// protocol on the gateway and in the firewall, in words a user follows. Only what the
// COM interfaces tell us; our platform classes add what they alone know.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "com/com_ptr.h"

// 604800 -> "7 days": seconds in their largest unit, rounded.
std::string Span(long seconds);

// "TCP" or "UDP" for the protocol character of Varneth::Add.
std::string ProtocolName(wchar_t protocol);

// "what (status 0x80070005)" on standard output: a status is for developers, the
// sentence for people keeps to words.
void StatusLine(const std::string& what, HRESULT status);

void ReportPortOutOfRange(wchar_t protocol, std::int32_t port);
void ReportNotMapped(wchar_t protocol, std::int32_t port);

// How long the gateway keeps `mapping` in seconds (0: until it restarts), when it says.
std::optional<long> MappingLease(IStaticPortMapping* mapping);

// Reports the mapping the gateway holds and for how long; returns "address:port" to
// share with users on the Internet, empty when the mapping does not tell a plain IPv4 address.
std::string ReportMapped(wchar_t protocol, std::int32_t port, const std::wstring& internalAddress,
                         IStaticPortMapping* mapping);
// One protocol mapped on the gateway, the other not.
void ReportPartlyMapped(std::int32_t port, wchar_t mapped, wchar_t notMapped);

void ReportFirewallProfile(HRESULT profileStatus, HRESULT stateStatus, bool firewallOn);
void ReportFirewallPort(wchar_t protocol, std::int32_t port, HRESULT opened);
void ReportFirewallSkipped(wchar_t protocol, std::int32_t port);

// The one line the window reads for its success box: "Reachable at 11.77.0.1:8080".
void ReportReachable(const std::string& endpoint);
// The success's headline: how long the gateway keeps the port, from the shortest lease,
// and how often it is renewed; `over` names the family when only IPv6 got it (" over IPv6").
void ReportLasting(std::int32_t port, long leaseSeconds, bool renewed, const std::string& over = {});
