#include <algorithm>

#include "diagnostics.h"
#include "record/forward_words.h"
#include "record/lasting_forwards.h"

namespace {

bool HalfLeasePassed(const RecordedForward& forward, long long now)
{
    return forward.lifetime > 0 && now >= forward.grantedAt + forward.lifetime / 2;
}

bool Holds(const std::vector<std::string>& addresses, const std::string& address)
{
    return std::find(addresses.begin(), addresses.end(), address) != addresses.end();
}

// Whether to ask again now that the entry is due or its hourly check is: when due, or
// when the check finds it gone (PCP and NAT-PMP cannot be checked but by asking again).
bool NeedsAsking(RecordedForward& forward, ForwardGateway& gateway, const Surroundings& here, std::string& problem)
{
    if (HalfLeasePassed(forward, here.now)) return true;
    switch (gateway.Holds(forward, problem)) {
    case ForwardGateway::Holding::Held:
        forward.checkedAt = here.now;
        return false;
    case ForwardGateway::Holding::NotHeld:
        UserLine(Subject(forward) + " is no longer held by the router; asked for again.");
        return true;
    case ForwardGateway::Holding::CannotTell: return problem.empty();
    }
    return false;
}

bool Due(const RecordedForward& forward, long long now)
{
    return HalfLeasePassed(forward, now) || now >= forward.checkedAt + kCheckInterval;
}

// Renews `forward`, due or found gone (or, `atOnce`, after its gateway restarted); the
// reason when it is not held after.
std::string RenewOnGateway(RecordedForward& forward, ForwardGateway& gateway, const Surroundings& here, bool atOnce)
{
    if (!gateway.OnThisDevice(forward)) {
        UserLine(Subject(forward) + " was made on another router at the same address; left alone.");
        return {};
    }
    std::string problem;
    if (atOnce || NeedsAsking(forward, gateway, here, problem)) {
        if (gateway.Renew(forward, problem)) {
            forward.checkedAt = here.now;
            UserLine(Subject(forward) + " renewed: " + LeaseWords(forward.lifetime) + ".");
            return {};
        }
        if (problem.empty()) {
            problem = "The router did not renew port " + std::to_string(forward.externalPort) + ". Try again later.";
            Headline(problem);
        }
    }
    if (problem.empty()) UserLine(Subject(forward) + " is held; nothing was due.");
    return problem;
}

// Not asked about now: what was last known of it, and when.
std::string NothingDue(const RecordedForward& forward, long long now)
{
    const long long minutes = std::max(0LL, now - std::max(forward.checkedAt, forward.grantedAt)) / 60;
    return Subject(forward) + ": nothing was due; the router last said it holds it " +
           (minutes == 0 ? std::string("less than a minute") : std::to_string(minutes) + " min") + " ago.";
}

// The firewall entry the forward made, read only: renew never asks for rights, so a
// missing entry is told, not made again.
std::string CheckFirewallEntry(const RecordedForward& forward, ForwardFirewall& firewall)
{
    if (forward.firewallEntry.empty()) return {};
    const std::string port = std::to_string(forward.externalPort);
    switch (firewall.Find(forward)) {
    case ForwardFirewall::Presence::LetsIn: return {};
    case ForwardFirewall::Presence::Unknown:
        UserLine("The firewall entry \"" + forward.firewallEntry + "\" could not be checked without an administrator's "
                 "rights; it was left as it is.");
        return {};
    case ForwardFirewall::Presence::Missing: break;
    }
    const std::string problem = "The firewall entry \"" + forward.firewallEntry + "\" that let port " + port + " in" +
                                (forward.family == "IPv6" ? " over IPv6" : "") +
                                " is gone, so the firewall may block it. Forward the port again to open it.";
    Headline(problem);
    return problem;
}

} // namespace

std::string RenewForwards(std::vector<RecordedForward>& forwards, ForwardGateway& gateway, ForwardFirewall& firewall,
                          const Surroundings& here)
{
    std::string firstReason;
    const auto tell = [&firstReason](const std::string& problem) {
        if (problem.empty()) return;
        UserLine(problem);
        if (firstReason.empty()) firstReason = problem;
    };
    std::vector<RecordedForward*> notDue;
    for (RecordedForward& forward : forwards) {
        if (forward.closing) {
            UserLine(Subject(forward) + " was being closed when the record could last be written; it is not renewed "
                     "and closes by itself once its lease ends. Close it again to close it now.");
            continue;
        }
        if (!SameGateway(forward.gateway, here.gateway)) {
            UserLine(Subject(forward) + " is on another router (" + forward.gateway.address + "); left alone.");
            continue;
        }
        if (!Holds(here.addresses, ForwardAddress(forward))) {
            UserLine(Subject(forward) + " is for " + ForwardAddress(forward) +
                     ", an address this machine no longer has; left alone.");
            continue;
        }
        // With nothing due, nothing is sent, unless an answer shows the gateway restarted.
        if (Due(forward, here.now)) {
            tell(RenewOnGateway(forward, gateway, here, false));
        } else {
            notDue.push_back(&forward);
        }
        tell(CheckFirewallEntry(forward, firewall));
    }
    for (RecordedForward* forward : notDue) {
        if (gateway.RestartSeen()) tell(RenewOnGateway(*forward, gateway, here, true));
        else UserLine(NothingDue(*forward, here.now));
    }
    return firstReason;
}
