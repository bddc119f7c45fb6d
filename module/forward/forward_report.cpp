#include "forward/forward_report.h"

#include <algorithm>
#include <array>
#include <utility>

#include "forward/forward_outcome.h"
#include "forward/sentences.h"
#include "gateway/grant.h"
#include "tell.h"
#include "text_lines.h"

namespace sentence = forward::sentence;

namespace {

std::string Subject(wchar_t protocol, std::int32_t port) { return ProtocolName(protocol) + " " + std::to_string(port); }

std::string RightsHint(firewall::Status status)
{
    return status == firewall::Status::AccessDenied ? Compose(sentence::NeedsAdministrator).text : std::string();
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
    Tell(sentence::PortNotAsked, {{"subject", Subject(protocol, port)}});
    Headline(sentence::PortOutOfRange, {{"port", std::to_string(port)}});
}

void ReportNotMapped(wchar_t protocol, std::int32_t port)
{
    Tell(sentence::NotMapped, {{"subject", Subject(protocol, port)}});
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
    const std::string subject = Subject(protocol, port);
    const std::string internal = NarrowToBytes(internalAddress) + ":" + std::to_string(port);
    if (endpoint.empty())
        Tell(sentence::Mapped, {{"subject", subject}, {"internal", internal}});
    else
        Tell(sentence::MappedAt, {{"subject", subject}, {"internal", internal}, {"endpoint", endpoint}});
    const auto& lease = grant.lease;
    if (!lease)
        Tell(sentence::LeaseUntold, {{"subject", subject}});
    else if (*lease == 0)
        Tell(sentence::KeptUntilRemoved, {{"subject", subject}});
    else
        Tell(sentence::KeptFor, {{"subject", subject}, {"span", Span(*lease)}, {"seconds", std::to_string(*lease)}});
    return endpoint;
}

void ReportPartlyMapped(std::int32_t port, wchar_t mapped, wchar_t notMapped)
{
    Headline(sentence::PartlyMapped,
             {{"port", std::to_string(port)}, {"mapped", ProtocolName(mapped)}, {"other", ProtocolName(notMapped)}});
}

void ReportFirewallProfile(firewall::Status profile, firewall::Status state, bool firewallOn)
{
    if (profile != firewall::Status::Ok) {
        StatusLine("The firewall could not be read", firewall::StatusCode(profile));
        Tell(sentence::FirewallUnread, {{"hint", RightsHint(profile)}});
    }
    else if (state != firewall::Status::Ok)
        return; // the firewall said why it could not tell, once, and nothing is known to be off
    else if (firewallOn)
        Tell(sentence::FirewallOn);
    else
        Tell(sentence::FirewallOff);
}

void ReportFirewallPort(wchar_t protocol, std::int32_t port, const firewall::Opening& opened)
{
    const std::string subject = Subject(protocol, port);
    if (opened.status == firewall::Status::AlreadyOpen)
        Tell(sentence::FirewallAlreadyLets, {{"subject", subject}});
    else if (opened.status == firewall::Status::Ok)
        Tell(sentence::FirewallLets, {{"subject", subject}});
    else {
        StatusLine("The firewall did not let " + subject + " in", opened.code);
        Tell(sentence::FirewallRefused, {{"subject", subject}, {"hint", RightsHint(opened.status)}});
    }
}

void ReportFirewallSkipped(wchar_t protocol, std::int32_t port)
{
    Tell(sentence::FirewallSkipped, {{"subject", Subject(protocol, port)}});
}

void ReportReachable(const std::string& endpoint) { Tell(sentence::Reachable, {{"endpoint", endpoint}}); }

void ReportLasting(std::int32_t port, long long leaseSeconds, Renewal renewal, const std::string& over)
{
    // Kept open is promised only for what the record holds: nothing else is renewed.
    if (leaseSeconds == 0 || renewal == Renewal::None) {
        Headline(sentence::KeptByGateway,
                 {{"port", std::to_string(port)}, {"over", over}, {"lasting", Lasting(leaseSeconds)}});
        return;
    }
    // Another device's mapping is renewed only through its router, so only while this
    // machine is on that network.
#ifdef _WIN32
    // The renewal task runs with the user's own sign-in, so only while they are signed in.
    const Sentence& kept =
        renewal == Renewal::AnotherDevice ? sentence::KeptOpenOnNetworkSignedIn : sentence::KeptOpenSignedIn;
#else
    const Sentence& kept = renewal == Renewal::AnotherDevice ? sentence::KeptOpenOnNetwork : sentence::KeptOpen;
#endif
    Headline(kept, {{"port", std::to_string(port)},
                    {"over", over},
                    {"every", Every(gateway::RenewAfter(leaseSeconds))},
                    {"span", Span(leaseSeconds)}});
}
