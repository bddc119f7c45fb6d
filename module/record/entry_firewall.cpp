#include "record/entry_firewall.h"

#include <utility>

#include "record/sentences.h"
#include "text_lines.h"

using firewall::Status;
namespace sentence = record::sentence;

namespace {

firewall::PortRequest Request(const RecordedForward& forward)
{
    const gateway::Grant& g = forward.grant;
    return {g.externalPort, g.protocol, g.family, WidenBytes(forward.firewallEntry), g.internalAddress};
}

// Why an entry stays, told as the headline; the reason close gives.
Told Refusal(const Sentence& sentence, Values values)
{
    const Told told = Compose(sentence, values);
    Headline(told);
    return told;
}

} // namespace

EntryFirewall::EntryFirewall(firewall::FirewallFactory firewall) : factory_(std::move(firewall)) {}

bool EntryFirewall::OwnIpv6Rule(const RecordedForward& forward)
{
    if (!firewall_.Manager) firewall_.Manager = factory_();
    return forward.grant.family == Family::Ipv6 && firewall_.Manager && firewall_.Manager->KeepsFamiliesApart();
}

bool EntryFirewall::Opened()
{
    if (!tried_) {
        tried_ = true;
        if (!firewall_.Manager) firewall_.Manager = factory_();
        OpenFirewallProfile(firewall_);
    }
    return firewall_.ProfileObtained;
}

bool EntryFirewall::Remove(const RecordedForward& forward, std::optional<Told>& problem)
{
    const int port = forward.grant.externalPort;
    const std::string& name = forward.firewallEntry;
    const std::string subject = std::string(Name(forward.grant.protocol)) + " " + std::to_string(port);
    const firewall::PortRequest request = Request(forward);
    if (OwnIpv6Rule(forward)) {
        const Status closed = Opened() ? firewall_.Manager->ClosePort(request) : Status::Failed;
        if (closed == Status::Ok || closed == Status::NotFound) {
            Tell(sentence::EntryGoneOverIpv6, {{"name", name}, {"subject", subject}});
            return true;
        }
        problem = Refusal(sentence::EntryNotRemovedOverIpv6, {{"port", std::to_string(port)}});
        return false;
    }
    if (!Opened()) {
        problem = Refusal(sentence::FirewallUnread, {{"port", std::to_string(port)}});
        return false;
    }
    // A firewall switched off keeps its entries, to use them again once on: ours goes all the same.
    const Status closed = firewall_.Manager->ClosePort(request);
    if (closed == Status::Ok) {
        // A wider rule that is not ours (an administrator's range of ports) may have let
        // the port in before ours did, and still does.
        if (firewall_.Manager->FindOpenPort(request).status == Status::Ok)
            Tell(sentence::AnotherRuleLetsIn, {{"subject", subject}, {"name", name}});
        else
            Tell(sentence::EntryRemoved, {{"subject", subject}, {"name", name}});
        return true;
    }
    if (closed == Status::NotFound) {
        Tell(sentence::NoSuchEntry, {{"name", name}, {"subject", subject}});
        return true;
    }
    StatusLine("The firewall entry \"" + name + "\" was not removed", firewall::StatusCode(closed));
    const Sentence& why =
        closed == Status::AccessDenied ? sentence::EntryNotRemovedAdministrator : sentence::EntryNotRemoved;
    problem = Refusal(why, {{"port", std::to_string(port)}});
    return false;
}

EntryFirewall::Presence EntryFirewall::Find(const RecordedForward& forward)
{
    const firewall::PortRequest request = Request(forward);
    if (OwnIpv6Rule(forward)) {
        if (!Opened()) return Presence::Unknown;
        if (!firewall_.Manager->Enabled()) return Presence::LetsIn;
        const Status found = firewall_.Manager->FindOwnPort(request);
        return found == Status::Ok ? Presence::LetsIn : found == Status::NotFound ? Presence::Missing : Presence::Unknown;
    }
    if (!Opened() || firewall_.Manager->StateRead() != Status::Ok) return Presence::Unknown;
    if (!firewall_.FirewallOn) return Presence::LetsIn;
    const Status found = firewall_.Manager->FindOwnPort(request);
    if (found == Status::Ok || found == Status::NotFound) return found == Status::Ok ? Presence::LetsIn : Presence::Missing;
    StatusLine("The firewall entry \"" + forward.firewallEntry + "\" was not read", firewall::StatusCode(found));
    return Presence::Unknown;
}
