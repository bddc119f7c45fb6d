#include <algorithm>

#include "platform/printable_text.h"
#include "record/lasting_forwards.h"

namespace {

std::string YesNo(bool yes) { return yes ? "yes" : "no"; }

std::string Line(const RecordedForward& f, long long secondsLeft, bool recorded)
{
    // Any program on the machine names its mappings as it likes, and the router may have cut
    // the name inside a character; the router's words are its own. The window shows them,
    // and a terminal may print them.
    const std::vector<std::string> fields{std::string(Name(f.grant.protocol)),
                                          std::to_string(f.grant.externalPort),
                                          f.grant.internalAddress,
                                          std::to_string(f.grant.internalPort),
                                          std::string(Name(f.grant.family)),
                                          f.firewallOnly ? std::string(kFirewallOnlyWord) : std::string(Name(f.grant.method)),
                                          std::to_string(secondsLeft),
                                          YesNo(recorded),
                                          YesNo(recorded),
                                          YesNo(recorded && !f.firewallEntry.empty()),
                                          PrintableText(f.grant.description)};
    std::string line;
    for (const std::string& field : fields) line += (line.empty() ? "" : "\t") + field;
    return line;
}

const RecordedForward* Recorded(const std::vector<RecordedForward>& forwards, const RecordedForward& mapping)
{
    const auto found = std::find_if(forwards.begin(), forwards.end(),
                                    [&](const RecordedForward& held) { return SameMapping(held, mapping); });
    return found == forwards.end() ? nullptr : &*found;
}

} // namespace

std::vector<std::string> ListLines(const std::vector<gateway::EntryClient::Listed>& listed,
                                   const std::vector<RecordedForward>& forwards, const Surroundings& here)
{
    std::vector<std::string> lines;
    for (const gateway::EntryClient::Listed& mapping : listed) {
        RecordedForward shown;
        shown.grant = mapping.grant;
        const RecordedForward* recorded = Recorded(forwards, shown);
        if (recorded) {
            shown.grant.method = recorded->grant.method; // the gateway cannot tell ours from the system's object's
            shown.firewallEntry = recorded->firewallEntry;
        }
        lines.push_back(Line(shown, mapping.secondsLeft, recorded != nullptr));
    }
    // PCP and NAT-PMP cannot list, nor can UPnP list pinholes: the record's entries on
    // this gateway, for this machine's addresses, while their lease lasts.
    for (const RecordedForward& f : forwards) {
        // On this machine's firewall, whichever address it was forwarded to.
        if (f.firewallOnly) {
            if (!f.firewallEntry.empty()) lines.push_back(Line(f, 0, true));
            continue;
        }
        const long long end = f.grant.grantedAt + Lifetime(f);
        const bool alive = Lifetime(f) == 0 || end > here.now;
        const std::string& address = ForwardAddress(f);
        if ((ThroughUpnp(f.grant.method) && f.grant.family == Family::Ipv4) ||
            !SameGateway(f.grant.gateway, here.gateway) || !alive ||
            !Holds(here.addresses, address))
            continue;
        lines.push_back(Line(f, Lifetime(f) == 0 ? 0 : end - here.now, true));
    }
    return lines;
}
