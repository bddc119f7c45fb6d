#include "forward/forward_report.h"

#include <algorithm>
#include <array>
#include <utility>

#include "forward/forward_outcome.h"
#include "forward/sentences.h"
#include "tell.h"
#include "text_lines.h"

namespace {

std::string Subject(wchar_t protocol, std::int32_t port) { return ProtocolName(protocol) + " " + std::to_string(port); }

std::string RightsHint(firewall::Status status)
{
    return status == firewall::Status::AccessDenied ? ": this needs administrator rights" : "";
}

// Only digits and dots pass: the address ends up in a sentence the window parses.
bool IsPlainIpv4Text(const std::string& text)
{
    return !text.empty() && text.size() <= 15 &&
           std::all_of(text.begin(), text.end(), [](char c) { return (c >= '0' && c <= '9') || c == '.'; });
}

} // namespace

// 604800 -> "7 days"; a lease read back is what is left, a second or two less than
// granted, so 3599 s is still an hour.
std::string Span(long long seconds)
{
    constexpr std::array<std::pair<long long, const char*>, 3> units{{{86400, "day"}, {3600, "hour"}, {60, "minute"}}};
    for (const auto& [unit, name] : units)
        if (seconds + unit / 60 >= unit) {
            const long long count = (seconds + unit / 2) / unit;
            return std::to_string(count) + " " + name + (count == 1 ? "" : "s");
        }
    return std::to_string(seconds) + (seconds == 1 ? " second" : " seconds");
}

namespace {

// 604800 -> "for 7 days", 0 -> "until it restarts".
std::string Lasting(long long seconds) { return seconds == 0 ? "until it restarts" : "for " + Span(seconds); }

// "every hour", "every 30 minutes"
std::string Every(long long seconds)
{
    const std::string span = Span(seconds);
    return "every " + (span.rfind("1 ", 0) == 0 ? span.substr(2) : span);
}

} // namespace

std::string ProtocolName(wchar_t protocol) { return protocol == L't' ? "TCP" : "UDP"; }

void ReportPortOutOfRange(wchar_t protocol, std::int32_t port)
{
    UserLine(Subject(protocol, port) + " was not asked for: a port is a number from 1 to 65535.");
    Headline("Port " + std::to_string(port) + " cannot be opened: a port is a number from 1 to 65535. Choose a port in "
             "that range.");
}

void ReportNotMapped(wchar_t protocol, std::int32_t port)
{
    UserLine(Subject(protocol, port) + " is not mapped on the gateway.");
}

std::optional<long long> ShortestLease(const ForwardOutcome& outcome)
{
    std::optional<long long> shortest;
    for (const PortOutcome& port : outcome.ports) {
        if (port.family != Family::Ipv4 || !port.grant) continue;
        const std::optional<long long>& lease = port.grant->lease;
        if (!lease) return std::nullopt;
        if (!shortest || *shortest == 0 || (*lease != 0 && *lease < *shortest)) shortest = *lease;
    }
    return shortest;
}

std::string ReportMapped(wchar_t protocol, std::int32_t port, const std::wstring& internalAddress,
                         const gateway::Grant& grant)
{
    const std::string& address = grant.externalAddress;
    const std::string endpoint = IsPlainIpv4Text(address) ? address + ":" + std::to_string(port) : std::string();
    UserLine(Subject(protocol, port) + " -> " + NarrowToBytes(internalAddress) + ":" + std::to_string(port) +
             " mapped on the gateway" + (endpoint.empty() ? "." : "; users on the Internet connect to " + endpoint + "."));
    const auto& lease = grant.lease;
    if (!lease)
        UserLine("The gateway did not say how long it keeps " + Subject(protocol, port) + ".");
    else
        UserLine("The gateway keeps " + Subject(protocol, port) + " " + Lasting(*lease) +
                 (*lease == 0 ? " or the mapping is removed." : " (lease " + std::to_string(*lease) + " s), or until it restarts."));
    return endpoint;
}

void ReportPartlyMapped(std::int32_t port, wchar_t mapped, wchar_t notMapped)
{
    Headline("Port " + std::to_string(port) + " was opened on the router for " + ProtocolName(mapped) + " only, not for " +
             ProtocolName(notMapped) + ". If the program needs only " + ProtocolName(mapped) + ", tick only " +
             ProtocolName(mapped) + "; else fix the cause above and try again.");
}

void ReportFirewallProfile(firewall::Status profile, firewall::Status state, bool firewallOn)
{
    if (profile != firewall::Status::Ok) {
        StatusLine("The firewall could not be read", static_cast<HRESULT>(firewall::StatusCode(profile)));
        UserLine("The firewall could not be read" + RightsHint(profile) + ".");
    }
    else if (state != firewall::Status::Ok)
        UserLine("Whether the firewall lets ports in could not be checked" + RightsHint(state) +
                 "; no port was let in there.");
    else if (firewallOn)
        UserLine("The firewall is on.");
    else
        UserLine("The firewall is off: no port needs to be let in.");
}

void ReportFirewallPort(wchar_t protocol, std::int32_t port, const firewall::Opening& opened)
{
    if (opened.status == firewall::Status::AlreadyOpen)
        UserLine("The firewall already lets " + Subject(protocol, port) + " in.");
    else if (opened.status == firewall::Status::Ok)
        UserLine("The firewall now lets " + Subject(protocol, port) + " in.");
    else {
        StatusLine("The firewall did not let " + Subject(protocol, port) + " in", static_cast<HRESULT>(opened.code));
        UserLine("The firewall did not let " + Subject(protocol, port) + " in" + RightsHint(opened.status) + ".");
    }
}

void ReportFirewallSkipped(wchar_t protocol, std::int32_t port)
{
    UserLine(Subject(protocol, port) + " is not let in through the firewall, since the gateway did not map it.");
}

void ReportReachable(const std::string& endpoint) { Tell(forward::sentence::Reachable, {{"endpoint", endpoint}}); }

void ReportLasting(std::int32_t port, long long leaseSeconds, bool renewed, const std::string& over)
{
    // Kept open is promised only for what the record holds: nothing else is renewed.
    if (leaseSeconds == 0 || !renewed) {
        Headline("The router keeps port " + std::to_string(port) + " open" + over + " " + Lasting(leaseSeconds) + ".");
        return;
    }
    // Renewed at half the lease, so a lease cut short by a gateway restart is mended in time.
    Headline("Port " + std::to_string(port) + " is kept open" + over + ": renewed " + Every(leaseSeconds / 2) +
             "; it closes by itself within " + Span(leaseSeconds) + " if this machine stops renewing.");
}
