#include <algorithm>
#include <cwchar>

#include "diagnostics.h"
#include "forward/forward_report.h"
#include "platform/printable_text.h"
#include "record/forward_words.h"
#include "record/lasting_forwards.h"
#include "text_lines.h"

namespace {

constexpr const char* kCloseUsage =
    "The close command needs groups of four lines: address, port (1-65535), TCP flag, UDP flag, with a flag TRUE; "
    "or the single line all.";

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

bool Holds(const std::vector<std::string>& addresses, const std::string& address)
{
    return std::find(addresses.begin(), addresses.end(), address) != addresses.end();
}

// Whether `target` asks to close `f` on this gateway: its mapping, or a pinhole beside it.
bool Asks(const CloseTarget& target, const RecordedForward& f, const Surroundings& here)
{
    return f.externalPort == target.port && ForwardAddress(f) == target.address &&
           Holds(target.protocols, f.protocol) && SameGateway(f.gateway, here.gateway);
}

// Only an entry the tool made, under its own name; an administrator's rule stays.
bool RemoveOwnFirewallEntry(const RecordedForward& forward, ForwardFirewall& firewall, std::string& problem)
{
    const std::string& name = forward.firewallEntry;
    if (name.empty()) return true;
    if (name != OwnEntryName(forward.externalPort, forward.protocol)) {
        UserLine("The firewall entry \"" + name + "\" is not one of this tool's names; it was left as it is.");
        return true;
    }
    return firewall.Remove(forward, problem);
}

// Closes the target's mapping of one protocol; the reason when something of it is left.
class Closer {
public:
    Closer(std::vector<RecordedForward>& forwards, ForwardGateway& gateway, ForwardFirewall& firewall,
           const Surroundings& here)
        : forwards_(forwards), gateway_(gateway), firewall_(firewall), here_(here)
    {
    }

    std::string Close(const CloseTarget& target, const std::string& protocol)
    {
        bool pinholesClosed = false;
        const std::string pinholeProblem = ClosePinholes(target, protocol, pinholesClosed);
        const std::string problem = CloseMapping(target, protocol, pinholesClosed);
        return pinholeProblem.empty() ? problem : pinholeProblem;
    }

private:
    // Gone from the gateway first: a firewall entry goes only with what it let in.
    bool CloseEntry(const RecordedForward& f, std::string& problem)
    {
        return gateway_.Delete(f, problem) && RemoveOwnFirewallEntry(f, firewall_, problem);
    }

    // The pinholes opened beside the forward of `target`: closed with it.
    std::string ClosePinholes(const CloseTarget& target, const std::string& protocol, bool& closed)
    {
        std::string firstProblem;
        for (auto f = forwards_.begin(); f != forwards_.end();) {
            const bool beside = f->family == "IPv6" && f->protocol == protocol && f->externalPort == target.port &&
                                f->forwardAddress == target.address && SameGateway(f->gateway, here_.gateway);
            std::string problem;
            if (!beside || !CloseEntry(*f, problem)) {
                if (firstProblem.empty()) firstProblem = problem;
                ++f;
                continue;
            }
            UserLine(Subject(*f) + " closed.");
            f = forwards_.erase(f);
            closed = true;
        }
        return firstProblem;
    }

    // `pinholesClosed`: the forward's pinholes went just now. Where no mapping of it is
    // recorded, its IPv4 side failed, and the router holds nothing more of it (behind
    // carrier-grade NAT it could not even be asked).
    std::string CloseMapping(const CloseTarget& target, const std::string& protocol, bool pinholesClosed)
    {
        const auto asked = [&](const RecordedForward& f) {
            return f.protocol == protocol && f.externalPort == target.port && f.internalAddress == target.address;
        };
        // The entry on this gateway first: the same port may be recorded on another network too.
        auto recorded = std::find_if(forwards_.begin(), forwards_.end(), [&](const RecordedForward& f) {
            return asked(f) && SameGateway(f.gateway, here_.gateway);
        });
        if (recorded == forwards_.end()) recorded = std::find_if(forwards_.begin(), forwards_.end(), asked);
        if (recorded == forwards_.end()) return pinholesClosed ? std::string() : CloseUnrecorded(target, protocol);
        if (!SameGateway(recorded->gateway, here_.gateway)) {
            UserLine(Subject(*recorded) + " is on another router (" + recorded->gateway.address + ").");
            const std::string reason = "Port " + std::to_string(target.port) +
                                       " was opened on another router. Connect to that network to close it.";
            Headline(reason);
            return reason;
        }
        std::string problem;
        if (!CloseEntry(*recorded, problem)) return problem;
        UserLine(Subject(*recorded) + " closed.");
        forwards_.erase(recorded);
        return {};
    }

    // Another program's mapping: deleted only for an address of this machine's, and only
    // when the gateway holds it for that address now.
    std::string CloseUnrecorded(const CloseTarget& target, const std::string& protocol)
    {
        const std::string port = std::to_string(target.port);
        if (!Holds(here_.addresses, target.address)) {
            const std::string reason = "Port " + port + " for " + target.address + " was left alone: that is not an "
                                       "address of this machine, and this tool did not open the port for it.";
            Headline(reason);
            return reason;
        }
        std::string problem;
        const std::optional<ListedMapping> held = gateway_.Read(target.port, protocol, problem);
        if (!problem.empty()) return problem;
        const std::string subject = protocol + " " + port + " to " + target.address;
        if (!held || held->forward.internalAddress != target.address) {
            UserLine("Nothing is open for " + subject +
                     (held ? " (the router holds the port for " + held->forward.internalAddress + ", left as it is)"
                           : std::string()) +
                     ".");
            return {};
        }
        if (!gateway_.Delete(held->forward, problem)) return problem;
        UserLine(subject + " was made by another program (\"" + PrintableText(held->forward.description) +
                 "\"), not by this tool; it was closed as asked.");
        return {};
    }

    std::vector<RecordedForward>& forwards_;
    ForwardGateway& gateway_;
    ForwardFirewall& firewall_;
    const Surroundings& here_;
};

} // namespace

std::optional<std::vector<CloseTarget>> ReadCloseTargets(const std::vector<std::wstring>& commandLines,
                                                         std::string& problem)
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
        if (commandLines[first + 2] == L"TRUE") target.protocols.push_back("TCP");
        if (commandLines[first + 3] == L"TRUE") target.protocols.push_back("UDP");
        if (target.address.empty() || target.port == 0 || target.protocols.empty()) break;
        targets.push_back(std::move(target));
    }
    if (targets.empty() || targets.size() * 4 != count) {
        problem = kCloseUsage;
        return std::nullopt;
    }
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
            return t.address == address && t.port == forward.externalPort;
        });
        if (target == targets.end()) target = targets.insert(targets.end(), CloseTarget{address, forward.externalPort, {}});
        if (std::find(target->protocols.begin(), target->protocols.end(), forward.protocol) == target->protocols.end())
            target->protocols.push_back(forward.protocol);
    }
    return targets;
}

std::string CloseForwards(const std::vector<CloseTarget>& targets, std::vector<RecordedForward>& forwards,
                          ForwardGateway& gateway, ForwardFirewall& firewall, const Surroundings& here,
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
        const std::string reason = "The record of open ports could not be written, so nothing was closed. Check that "
                                   "the home folder has space and is writable, then close again.";
        Headline(reason);
        return reason;
    }

    Closer closer(forwards, gateway, firewall, here);
    std::string firstReason;
    const auto tell = [&firstReason](const std::string& problem) {
        if (problem.empty()) return;
        UserLine(problem);
        if (firstReason.empty()) firstReason = problem;
    };
    std::vector<std::string> notReached;
    for (const CloseTarget& target : targets)
        for (const std::string& protocol : target.protocols) {
            const std::string subject = protocol + " " + std::to_string(target.port) + " to " + target.address;
            if (Clock::now() < here.end) {
                tell(closer.Close(target, protocol));
                continue;
            }
            UserLine("Not closed, as time ran out first: " + subject + ".");
            notReached.push_back(subject);
        }
    // Each reason that follows covers more than one group's: it is the answer.
    const auto tellFirst = [&](const std::string& reason) {
        Headline(reason);
        UserLine(reason);
        firstReason = reason;
    };
    if (!notReached.empty())
        tellFirst("Time ran out before " + Listed(notReached) + " could be closed; " +
                  (notReached.size() == 1 ? "it stays" : "they stay") + " open. Close again.");

    // What is still recorded was not closed after all: renewed as before.
    for (RecordedForward& f : forwards) f.closing = f.closing && !asked(f);
    if (!marked.empty() && !save())
        tellFirst("The record of open ports could not be written once the router was asked, so it still lists " +
                  Listed(marked) + "; none of them is renewed again. Check that the home folder has space and is "
                  "writable, then close again.");
    return firstReason;
}

std::vector<RecordedForward> TakeBack(const std::vector<RecordedForward>& made, ForwardGateway& gateway,
                                      ForwardFirewall& firewall)
{
    std::vector<RecordedForward> left;
    for (const RecordedForward& f : made) {
        // Each whatever became of the other: an entry nothing records is found by nobody.
        std::string problem;
        const bool deleted = gateway.Delete(f, problem);
        const bool removed = RemoveOwnFirewallEntry(f, firewall, problem);
        if (deleted && removed) {
            UserLine(Subject(f) + " closed again.");
            continue;
        }
        UserLine(Subject(f) + " is still open: " + problem);
        left.push_back(f);
    }
    return left;
}

std::vector<std::string> LeftOpenLines(const std::vector<RecordedForward>& forwards, long long now)
{
    std::vector<std::string> lines;
    for (const RecordedForward& forward : forwards) {
        // "At most": a mapping the router let go before its firewall entry failed is recorded still.
        const std::string where = Subject(forward) + " on the router " + forward.gateway.address;
        const long long left = forward.grantedAt + forward.lifetime - now;
        lines.push_back(forward.lifetime == 0 ? where + ": the router keeps it open until it restarts, unless it is "
                                                        "closed in the router's settings."
                        : left > 0 ? where + ": the router keeps it open for at most about " +
                                         Span(static_cast<long>(left)) + " more, then closes it by itself."
                                   : where + ": its time ran out, so the router has closed it by now.");
        if (forward.firewallEntry == OwnEntryName(forward.externalPort, forward.protocol))
            lines.push_back("The firewall entry \"" + forward.firewallEntry + "\" stays; an administrator removes it with: " +
                            FirewallEntryRemoval(forward));
    }
    return lines;
}
