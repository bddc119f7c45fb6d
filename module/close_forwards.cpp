#include <algorithm>
#include <cwchar>

#include "diagnostics.h"
#include "forward_report.h"
#include "forward_words.h"
#include "lasting_forwards.h"
#include "platform/printable_text.h"
#include "text_lines.h"

namespace {

constexpr const char* kCloseUsage =
    "The close command needs groups of four lines: address, port (1-65535), TCP flag, UDP flag, with a flag TRUE; "
    "or the single line all.";

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
    // The pinholes opened beside the forward of `target`: closed with it.
    std::string ClosePinholes(const CloseTarget& target, const std::string& protocol, bool& closed)
    {
        std::string firstProblem;
        for (auto f = forwards_.begin(); f != forwards_.end();) {
            const bool beside = f->family == "IPv6" && f->protocol == protocol && f->externalPort == target.port &&
                                f->forwardAddress == target.address && SameGateway(f->gateway, here_.gateway);
            std::string problem;
            if (!beside || !RemoveOwnFirewallEntry(*f, problem) || !gateway_.Delete(*f, problem)) {
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
    // carrier-grade NAT it could not even list it).
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
        if (!RemoveOwnFirewallEntry(*recorded, problem)) return problem;
        if (!gateway_.Delete(*recorded, problem)) return problem;
        UserLine(Subject(*recorded) + " closed.");
        forwards_.erase(recorded);
        return {};
    }

    // Only an entry the tool made, under its own name; an administrator's rule stays. Before
    // the router's mapping: an entry that needs an administrator keeps the mapping open and
    // recorded with it, and an entry removed is no longer recorded, whatever the router says.
    bool RemoveOwnFirewallEntry(RecordedForward& forward, std::string& problem)
    {
        const std::string& name = forward.firewallEntry;
        if (name.empty()) return true;
        if (name != OwnEntryName(forward.externalPort, forward.protocol)) {
            UserLine("The firewall entry \"" + name + "\" is not one of this tool's names; it was left as it is.");
            return true;
        }
        if (!firewall_.Remove(forward, problem)) return false;
        forward.firewallEntry.clear();
        return true;
    }

    // Another program's mapping: deleted only when the gateway holds it for the address asked.
    std::string CloseUnrecorded(const CloseTarget& target, const std::string& protocol)
    {
        std::string problem;
        if (!listed_) listed_ = gateway_.List({target.address}, problem);
        if (!listed_) return problem;
        const auto held = std::find_if(listed_->begin(), listed_->end(), [&](const ListedMapping& m) {
            return m.forward.protocol == protocol && m.forward.externalPort == target.port &&
                   m.forward.internalAddress == target.address;
        });
        const std::string subject = protocol + " " + std::to_string(target.port) + " to " + target.address;
        if (held == listed_->end()) {
            UserLine("Nothing is open for " + subject + ".");
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
    std::optional<std::vector<ListedMapping>> listed_;
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
                          ForwardGateway& gateway, ForwardFirewall& firewall, const Surroundings& here)
{
    Closer closer(forwards, gateway, firewall, here);
    std::string firstReason;
    for (const CloseTarget& target : targets)
        for (const std::string& protocol : target.protocols) {
            const std::string problem = closer.Close(target, protocol);
            if (problem.empty()) continue;
            UserLine(problem);
            if (firstReason.empty()) firstReason = problem;
        }
    return firstReason;
}

std::vector<std::string> LeftOpenLines(const std::vector<RecordedForward>& forwards, long long now)
{
    std::vector<std::string> lines;
    for (const RecordedForward& forward : forwards) {
        const std::string where = Subject(forward) + " on the router " + forward.gateway.address;
        const long long left = forward.grantedAt + forward.lifetime - now;
        lines.push_back(forward.lifetime == 0 ? where + " stays open until the router restarts, or until it is closed "
                                                        "in the router's settings."
                        : left > 0 ? where + " stays open for about " + Span(static_cast<long>(left)) +
                                         " more, then closes by itself."
                                   : where + " has closed by itself by now: its time ran out.");
        if (forward.firewallEntry == OwnEntryName(forward.externalPort, forward.protocol))
            lines.push_back("The firewall entry \"" + forward.firewallEntry + "\" stays; an administrator removes it with: " +
                            FirewallEntryRemoval(forward));
    }
    return lines;
}
