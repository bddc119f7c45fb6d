#include "forward/forward_recording.h"

#include <algorithm>

#include "tell.h"
#include "forward/sentences.h"
#include "record/entry_firewall.h"
#include "record/forward_words.h"
#include "record/lasting_forwards.h"

namespace {

RecordedForward RecordOf(const PortOutcome& port, const std::vector<std::string>& ownAddresses)
{
    RecordedForward f{*port.grant, port.grant->grantedAt, {}};
    const std::string& address = f.grant.internalAddress;
    f.anotherDevice = f.grant.family == Family::Ipv4 && !ownAddresses.empty() &&
                      std::find(ownAddresses.begin(), ownAddresses.end(), address) == ownAddresses.end();
    // Only an entry this forward made is ours to remove; a pinhole's is the one its IPv6
    // side made, where the firewall keeps one per family.
    if (port.firewall.kind == FirewallStep::Kind::Opened) f.firewallEntry = port.firewall.entryName;
    return f;
}

} // namespace

Recording RecordForward(ForwardRecordStore& store, gateway::EntryClient& gateway, const ForwardOutcome& outcome,
                        const Ipv6Result& ipv6, const std::vector<std::string>& ownAddresses)
{
    std::vector<RecordedForward> made;
    for (const auto* ports : {&outcome.ports, &ipv6.ports})
        for (const PortOutcome& port : *ports)
            if (port.grant) made.push_back(RecordOf(port, ownAddresses));
    if (made.empty()) return {};
    for (const RecordedForward& forward : made) Remember(store.forwards, forward);
    if (store.Save())
        return {std::any_of(made.begin(), made.end(), [](const RecordedForward& f) { return f.anotherDevice; })
                    ? Renewal::AnotherDevice
                    : Renewal::ThisMachine,
                {}};
    // Unrecorded, nothing would keep it open, and close could not find all of it: taken back.
    EntryFirewall entries(firewall::OpenMachineFirewall);
    const std::vector<RecordedForward> left = TakeBack(made, gateway, entries);
    std::string subjects;
    for (const RecordedForward& f : left) subjects += (subjects.empty() ? "" : ", ") + Subject(f);
    const Told reason = left.empty() ? Compose(forward::sentence::NotRecordedClosed)
                                     : Compose(forward::sentence::NotRecordedLeft,
                                               {{"subjects", subjects},
                                                {"hours", std::to_string(gateway::kAskedLease / 3600)}});
    Headline(reason);
    return {Renewal::None, reason.text};
}
