#include <algorithm>
#include <cwchar>

#include "forward/forward_report.h"
#include "record/forward_words.h"
#include "record/lasting_forwards.h"
#include "record/sentences.h"
#include "text_lines.h"

namespace sentence = record::sentence;

namespace {

// Why something stays open, told as the headline; close's reason.
Told Reason(const Sentence& sentence, Values values)
{
    const Told told = Compose(sentence, values);
    Headline(told);
    return told;
}

// How many a headline names; the others it counts.
constexpr std::size_t kNamedInHeadline = 8;

// "a, b and c", or "a, b and 7 more" past the headline's names.
std::string Listed(const std::vector<std::string>& names)
{
    const std::size_t named = std::min(names.size(), kNamedInHeadline);
    std::string text;
    for (std::size_t i = 0; i < named; ++i) {
        const bool last = i + 1 == named && named == names.size();
        text += (i == 0 ? "" : last ? " and " : ", ") + names[i];
    }
    if (named < names.size()) text += " and " + std::to_string(names.size() - named) + " more";
    return text;
}

// "TCP 8080 to 192.168.1.5"
std::string Named(const CloseTarget& target, Protocol protocol)
{
    return std::string(Name(protocol)) + " " + std::to_string(target.port) + " to " + target.address;
}

// Whether `target` asks to close `f`: its mapping or a pinhole beside it on this
// gateway, or its port where only this machine's firewall lets it in.
bool Asks(const CloseTarget& target, const RecordedForward& f, const Surroundings& here)
{
    return f.grant.externalPort == target.port && ForwardAddress(f) == target.address &&
           Holds(target.protocols, f.grant.protocol) && (f.firewallOnly || SameGateway(f.grant.gateway, here.gateway));
}

// Only an entry the tool made, or one an administrator was asked to add, under the
// tool's own name; any other rule stays.
bool RemoveOwnFirewallEntry(const RecordedForward& forward, EntryFirewall& firewall, std::optional<Told>& problem)
{
    RecordedForward named = forward;
    if (named.firewallEntry.empty()) named.firewallEntry = forward.firewallAsked;
    const std::string& name = named.firewallEntry;
    if (name.empty()) return true;
    if (name != OwnEntryName(forward.grant.externalPort, forward.grant.protocol)) {
        Tell(sentence::NotOurName, {{"name", name}});
        return true;
    }
    return firewall.Remove(named, problem);
}

// Closes the target's mapping of one protocol; the reason when something of it is left.
class Closer {
public:
    Closer(std::vector<RecordedForward>& forwards, gateway::EntryClient& gateway, EntryFirewall& firewall,
           const Surroundings& here)
        : forwards_(forwards), gateway_(gateway), firewall_(firewall), here_(here)
    {
    }

    std::optional<Told> Close(const CloseTarget& target, Protocol protocol)
    {
        bool othersClosed = false;
        const std::optional<Told> pinholeProblem = ClosePinholes(target, protocol, othersClosed);
        const std::optional<Told> firewallProblem = CloseFirewallOnly(target, protocol, othersClosed);
        const std::optional<Told> problem = CloseMapping(target, protocol, othersClosed);
        return pinholeProblem ? pinholeProblem : firewallProblem ? firewallProblem : problem;
    }

private:
    // Gone from the gateway first: a firewall entry goes only with what it let in. A
    // firewall-only entry has nothing on the gateway: a port another device holds there
    // is not ours to delete.
    bool CloseEntry(const RecordedForward& f, std::optional<Told>& problem)
    {
        if (f.firewallOnly) return RemoveOwnFirewallEntry(f, firewall_, problem);
        if (std::optional<Told> left = gateway_.Delete(f.grant)) {
            problem = std::move(left);
            return false;
        }
        return RemoveOwnFirewallEntry(f, firewall_, problem);
    }

    // The pinholes opened beside the forward of `target`: closed with it.
    std::optional<Told> ClosePinholes(const CloseTarget& target, Protocol protocol, bool& closed)
    {
        std::optional<Told> firstProblem;
        for (auto f = forwards_.begin(); f != forwards_.end();) {
            const bool beside = f->grant.family == Family::Ipv6 && f->grant.protocol == protocol &&
                                f->grant.externalPort == target.port && f->grant.forwardAddress == target.address &&
                                SameGateway(f->grant.gateway, here_.gateway);
            std::optional<Told> problem;
            if (!beside || !CloseEntry(*f, problem)) {
                if (!firstProblem) firstProblem = problem;
                ++f;
                continue;
            }
            Tell(sentence::Closed, {{"subject", Subject(*f)}});
            f = forwards_.erase(f);
            closed = true;
        }
        return firstProblem;
    }

    // The target's port where only this machine's firewall lets it in, on whichever network.
    std::optional<Told> CloseFirewallOnly(const CloseTarget& target, Protocol protocol, bool& closed)
    {
        std::optional<Told> firstProblem;
        for (auto f = forwards_.begin(); f != forwards_.end();) {
            std::optional<Told> problem;
            if (!f->firewallOnly || f->grant.protocol != protocol || f->grant.externalPort != target.port ||
                f->grant.internalAddress != target.address || !CloseEntry(*f, problem)) {
                if (!firstProblem) firstProblem = problem;
                ++f;
                continue;
            }
            Tell(sentence::FirewallOnlyClosed, {{"subject", Named(target, protocol)}});
            f = forwards_.erase(f);
            closed = true;
        }
        return firstProblem;
    }

    // `othersClosed`: the forward's pinholes or firewall-only entry went just now. Where
    // no mapping of it is recorded, its IPv4 side failed, and the router holds nothing more
    // of it (behind carrier-grade NAT it could not even be asked).
    std::optional<Told> CloseMapping(const CloseTarget& target, Protocol protocol, bool othersClosed)
    {
        const auto asked = [&](const RecordedForward& f) {
            return !f.firewallOnly && f.grant.protocol == protocol && f.grant.externalPort == target.port &&
                   f.grant.internalAddress == target.address;
        };
        // The entry on this gateway first: the same port may be recorded on another network too.
        auto recorded = std::find_if(forwards_.begin(), forwards_.end(), [&](const RecordedForward& f) {
            return asked(f) && SameGateway(f.grant.gateway, here_.gateway);
        });
        if (recorded == forwards_.end()) recorded = std::find_if(forwards_.begin(), forwards_.end(), asked);
        if (recorded == forwards_.end()) return othersClosed ? std::nullopt : CloseUnrecorded(target, protocol);
        if (!SameGateway(recorded->grant.gateway, here_.gateway)) {
            Tell(sentence::CloseElsewhere,
                 {{"subject", Subject(*recorded)}, {"address", recorded->grant.gateway.address}});
            return Reason(sentence::OpenedElsewhere, {{"port", std::to_string(target.port)}});
        }
        std::optional<Told> problem;
        if (!CloseEntry(*recorded, problem)) return problem;
        Tell(sentence::Closed, {{"subject", Subject(*recorded)}});
        forwards_.erase(recorded);
        return {};
    }

    // Another program's mapping: deleted only for an address of this machine's, and only
    // when the gateway holds it for that address now.
    std::optional<Told> CloseUnrecorded(const CloseTarget& target, Protocol protocol)
    {
        if (!Holds(here_.addresses, target.address))
            return Reason(sentence::NotThisMachines,
                          {{"port", std::to_string(target.port)}, {"address", target.address}});
        const auto read = gateway_.Read(target.port, protocol);
        if (!read.value) return read.problem;
        const std::optional<gateway::EntryClient::Listed>& held = *read.value;
        const std::string subject = Named(target, protocol);
        if (!held || held->grant.internalAddress != target.address) {
            if (held)
                Tell(sentence::NothingOpenHeldElsewhere, {{"subject", subject}, {"holder", held->grant.internalAddress}});
            else
                Tell(sentence::NothingOpen, {{"subject", subject}});
            return {};
        }
        if (std::optional<Told> left = gateway_.Delete(held->grant)) return left;
        Tell(sentence::MadeByAnother, {{"subject", subject}, {"description", held->grant.description}});
        return {};
    }

    std::vector<RecordedForward>& forwards_;
    gateway::EntryClient& gateway_;
    EntryFirewall& firewall_;
    const Surroundings& here_;
};

} // namespace

std::optional<std::vector<CloseTarget>> ReadCloseTargets(const std::vector<std::wstring>& commandLines)
{
    // The empty entry after the final line end is no group.
    std::size_t count = commandLines.size() - 1;
    if (count > 0 && commandLines.back().empty()) --count;
    std::vector<CloseTarget> targets;
    for (std::size_t first = 1; first + 3 <= count; first += 4) {
        CloseTarget target;
        target.address = NarrowToBytes(commandLines[first]);
        const std::wstring& port = commandLines[first + 1];
        wchar_t* end = nullptr;
        const long number = std::wcstol(port.c_str(), &end, 10);
        target.port = number >= 1 && number <= 65535 && end != port.c_str() && *end == L'\0' ? int(number) : 0;
        if (commandLines[first + 2] == L"TRUE") target.protocols.push_back(Protocol::Tcp);
        if (commandLines[first + 3] == L"TRUE") target.protocols.push_back(Protocol::Udp);
        if (target.address.empty() || target.port == 0 || target.protocols.empty()) break;
        targets.push_back(std::move(target));
    }
    if (targets.empty() || targets.size() * 4 != count) return std::nullopt;
    return targets;
}

bool ClosesAll(const std::vector<std::wstring>& commandLines)
{
    // The empty entry after the final line end is no line.
    const std::size_t count = commandLines.size() - (commandLines.size() > 2 && commandLines.back().empty() ? 1 : 0);
    return count == 2 && commandLines[1] == L"all";
}

std::vector<CloseTarget> RecordedTargets(const std::vector<RecordedForward>& forwards)
{
    std::vector<CloseTarget> targets;
    for (const RecordedForward& forward : forwards) {
        const std::string& address = ForwardAddress(forward);
        auto target = std::find_if(targets.begin(), targets.end(), [&](const CloseTarget& t) {
            return t.address == address && t.port == forward.grant.externalPort;
        });
        if (target == targets.end())
            target = targets.insert(targets.end(), CloseTarget{address, forward.grant.externalPort, {}});
        if (!Holds(target->protocols, forward.grant.protocol)) target->protocols.push_back(forward.grant.protocol);
    }
    return targets;
}

std::string CloseForwards(const std::vector<CloseTarget>& targets, std::vector<RecordedForward>& forwards,
                          gateway::EntryClient& gateway, EntryFirewall& firewall, const Surroundings& here,
                          const std::function<bool()>& save)
{
    const auto asked = [&](const RecordedForward& f) {
        return std::any_of(targets.begin(), targets.end(), [&](const CloseTarget& t) { return Asks(t, f, here); });
    };
    // Marked before the gateway is asked: should the record not be written once the
    // gateway let them go, renew must not ask for them again.
    std::vector<std::string> marked;
    for (RecordedForward& f : forwards)
        if (asked(f)) {
            f.closing = true;
            marked.push_back(Subject(f));
        }
    if (!marked.empty() && !save()) {
        for (RecordedForward& f : forwards) f.closing = f.closing && !asked(f);
        return Reason(sentence::NothingClosed, {}).text;
    }

    Closer closer(forwards, gateway, firewall, here);
    std::string firstReason;
    const auto tell = [&firstReason](const std::optional<Told>& problem) {
        if (!problem) return;
        Tell(*problem);
        if (firstReason.empty()) firstReason = problem->text;
    };
    std::vector<std::string> notReached;
    for (const CloseTarget& target : targets)
        for (Protocol protocol : target.protocols) {
            const std::string subject = Named(target, protocol);
            if (Clock::now() < here.end) {
                tell(closer.Close(target, protocol));
                continue;
            }
            Tell(sentence::NotReached, {{"subject", subject}});
            notReached.push_back(subject);
        }
    // Each reason that follows covers more than one group's: it is the answer.
    const auto tellFirst = [&](const Told& reason) {
        Headline(reason);
        Tell(reason);
        firstReason = reason.text;
    };
    if (!notReached.empty())
        tellFirst(Compose(notReached.size() == 1 ? sentence::TimeRanOutOne : sentence::TimeRanOutMany,
                          {{"listed", Listed(notReached)}}));

    // What is still recorded was not closed after all: renewed as before.
    for (RecordedForward& f : forwards) f.closing = f.closing && !asked(f);
    if (!marked.empty() && !save())
        tellFirst(Compose(sentence::StillListed, {{"listed", Listed(marked)}}));
    return firstReason;
}

std::vector<RecordedForward> TakeBack(const std::vector<RecordedForward>& made, gateway::EntryClient& gateway,
                                      EntryFirewall& firewall)
{
    std::vector<RecordedForward> left;
    for (const RecordedForward& f : made) {
        // Each whatever became of the other: an entry nothing records is found by nobody.
        std::optional<Told> problem = f.firewallOnly ? std::nullopt : gateway.Delete(f.grant);
        const bool deleted = !problem;
        const bool removed = RemoveOwnFirewallEntry(f, firewall, problem);
        if (deleted && removed) {
            Tell(sentence::ClosedAgain, {{"subject", Subject(f)}});
            continue;
        }
        Tell(sentence::StillOpen, {{"subject", Subject(f)}, {"problem", problem ? problem->text : std::string()}});
        left.push_back(f);
    }
    return left;
}

std::vector<std::string> LeftOpenLines(const std::vector<RecordedForward>& forwards, long long now)
{
    std::vector<std::string> lines;
    for (const RecordedForward& forward : forwards) {
        // "At most": a mapping the router let go before its firewall entry failed is recorded still.
        const std::string where = Subject(forward) + " on the router " + forward.grant.gateway.address;
        const long long left = forward.grant.grantedAt + Lifetime(forward) - now;
        if (!forward.firewallOnly)
            lines.push_back(Lifetime(forward) == 0 ? where + ": the router keeps it open until it restarts, unless it "
                                                             "is closed in the router's settings."
                            : left > 0 ? where + ": the router keeps it open for at most about " +
                                             Span(static_cast<long>(left)) + " more, then closes it by itself."
                                       : where + ": its time ran out, so the router has closed it by now.");
        if (forward.firewallEntry == OwnEntryName(forward.grant.externalPort, forward.grant.protocol))
            lines.push_back("The firewall entry \"" + forward.firewallEntry + "\" stays; an administrator removes it with: " +
                            FirewallEntryRemoval(forward));
    }
    return lines;
}
