#include <algorithm>

#include "record/sentences.h"
#include "record/forward_words.h"
#include "record/lasting_forwards.h"

namespace sentence = record::sentence;

namespace {

// Why an entry is not held after renew, told as the headline; renew's reason.
Told Reason(const Sentence& sentence, Values values)
{
    const Told told = Compose(sentence, values);
    Headline(told);
    return told;
}

bool LeaseRunningOut(const RecordedForward& forward, long long now)
{
    return Lifetime(forward) > 0 && now >= forward.grant.grantedAt + gateway::RenewAfter(Lifetime(forward));
}

// Whether to ask again now that the entry is due or its hourly check is: when due, or
// when the check finds it gone (PCP and NAT-PMP cannot be checked but by asking again).
bool NeedsAsking(RecordedForward& forward, gateway::EntryClient& gateway, const Surroundings& here,
                 std::optional<Told>& problem)
{
    if (LeaseRunningOut(forward, here.now)) return true;
    const Answered<gateway::Holding> held = gateway.Holds(forward.grant);
    if (!held.value) {
        problem = held.problem;
        return false;
    }
    switch (*held.value) {
    case gateway::Holding::Held:
        forward.checkedAt = here.now;
        return false;
    case gateway::Holding::NotHeld:
        Tell(sentence::NoLongerHeld, {{"subject", Subject(forward)}});
        return true;
    case gateway::Holding::CannotTell: return true;
    }
    return false;
}

bool Due(const RecordedForward& forward, long long now)
{
    return LeaseRunningOut(forward, now) || now >= forward.checkedAt + kCheckInterval;
}

// Renews `forward`, due or found gone (or, `atOnce`, after its gateway restarted); the
// reason when it is not held after. `restartSeen`: an answer showed the gateway lost its
// mappings since it granted them, told once.
std::optional<Told> RenewOnGateway(RecordedForward& forward, gateway::EntryClient& gateway, const Surroundings& here,
                                   bool atOnce, bool& restartSeen)
{
    if (!gateway.OnThisDevice(forward.grant)) {
        Tell(sentence::MadeOnAnotherDevice, {{"subject", Subject(forward)}});
        return {};
    }
    std::optional<Told> problem;
    if (atOnce || NeedsAsking(forward, gateway, here, problem)) {
        const Answered<gateway::EntryClient::Renewal> renewed = gateway.Renew(forward.grant);
        if (renewed.value) {
            if (renewed.value->restartSeen && !restartSeen) {
                restartSeen = true;
                Tell(sentence::GatewayRestarted, {{"method", std::string(Name(forward.grant.method))},
                                                  {"port", std::to_string(forward.grant.externalPort)}});
            }
            forward.grant = renewed.value->grant;
            forward.checkedAt = here.now;
            Tell(sentence::Renewed, {{"subject", Subject(forward)}, {"lease", LeaseWords(Lifetime(forward))}});
            return {};
        }
        problem = renewed.problem;
        if (!problem)
            problem = Reason(sentence::NotRenewed, {{"port", std::to_string(forward.grant.externalPort)}});
    }
    if (!problem) Tell(sentence::HeldNothingDue, {{"subject", Subject(forward)}});
    return problem;
}

// Not asked about now: what was last known of it, and when.
Told NothingDue(const RecordedForward& forward, long long now)
{
    const long long minutes = std::max(0LL, now - std::max(forward.checkedAt, forward.grant.grantedAt)) / 60;
    const std::string ago = minutes == 0 ? Compose(sentence::LessThanAMinute).text
                                         : Compose(sentence::Minutes, {{"count", std::to_string(minutes)}}).text;
    return Compose(sentence::NothingDue, {{"subject", Subject(forward)}, {"ago", ago}});
}

// The firewall entry the forward made, read only: renew never asks for rights, so a
// missing entry is told, not made again.
std::optional<Told> CheckFirewallEntry(const RecordedForward& forward, EntryFirewall& firewall)
{
    if (forward.firewallEntry.empty()) return {};
    const std::string port = std::to_string(forward.grant.externalPort);
    switch (firewall.Find(forward)) {
    case EntryFirewall::Presence::LetsIn: return {};
    case EntryFirewall::Presence::Unknown:
        Tell(sentence::EntryUnchecked, {{"name", forward.firewallEntry}});
        return {};
    case EntryFirewall::Presence::Missing: break;
    }
    return Reason(forward.grant.family == Family::Ipv6 ? sentence::EntryGoneIpv6 : sentence::EntryGone,
                  {{"name", forward.firewallEntry}, {"port", port}});
}

} // namespace

std::string RenewForwards(std::vector<RecordedForward>& forwards, gateway::EntryClient& gateway, EntryFirewall& firewall,
                          const Surroundings& here)
{
    std::string firstReason;
    const auto tell = [&firstReason](const std::optional<Told>& problem) {
        if (!problem) return;
        Tell(*problem);
        if (firstReason.empty()) firstReason = problem->text;
    };
    bool restartSeen = false;
    std::vector<RecordedForward*> notDue;
    for (RecordedForward& forward : forwards) {
        if (forward.closing) {
            Tell(sentence::BeingClosed, {{"subject", Subject(forward)}});
            continue;
        }
        // Nothing on the router is ours: the port may be another device's there.
        if (forward.firewallOnly) {
            tell(CheckFirewallEntry(forward, firewall));
            continue;
        }
        if (!SameGateway(forward.grant.gateway, here.gateway)) {
            Tell(sentence::OnAnotherRouter,
                 {{"subject", Subject(forward)}, {"address", forward.grant.gateway.address}});
            continue;
        }
        // Another device's forward is renewed wherever this machine meets its router.
        if (!forward.anotherDevice && !Holds(here.addresses, ForwardAddress(forward))) {
            Tell(sentence::AddressGone, {{"subject", Subject(forward)}, {"address", ForwardAddress(forward)}});
            continue;
        }
        // With nothing due, nothing is sent, unless an answer shows the gateway restarted.
        if (Due(forward, here.now)) {
            tell(RenewOnGateway(forward, gateway, here, false, restartSeen));
        } else {
            notDue.push_back(&forward);
        }
        tell(CheckFirewallEntry(forward, firewall));
    }
    for (RecordedForward* forward : notDue) {
        if (restartSeen) tell(RenewOnGateway(*forward, gateway, here, true, restartSeen));
        else Tell(NothingDue(*forward, here.now));
    }
    return firstReason;
}
