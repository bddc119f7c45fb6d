#include "record/entry_firewall.h"

#include <utility>

#include "tell.h"
#include "text_lines.h"

using firewall::Status;

namespace {

firewall::PortRequest Request(const RecordedForward& forward)
{
    const gateway::Grant& g = forward.grant;
    return {g.externalPort, g.protocol, g.family, WidenBytes(forward.firewallEntry), g.internalAddress};
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

bool EntryFirewall::Remove(const RecordedForward& forward, std::string& problem)
{
    const int port = forward.grant.externalPort;
    const std::string& name = forward.firewallEntry;
    const std::string subject = std::string(Name(forward.grant.protocol)) + " " + std::to_string(port);
    const firewall::PortRequest request = Request(forward);
    if (OwnIpv6Rule(forward)) {
        if (Opened() && firewall_.Manager->ClosePort(request) == Status::Ok) {
            UserLine("The firewall's entry \"" + name + "\" for " + subject + " over IPv6 is gone.");
            return true;
        }
        problem = "The firewall entry for port " + std::to_string(port) + " over IPv6 could not be removed. "
                  "Remove it in the firewall's settings, or try again.";
        Headline(problem);
        return false;
    }
    if (!Opened()) {
        problem = "The firewall could not be read, so its entry for port " + std::to_string(port) +
                  " stays. Try again as a user who may change the firewall.";
        Headline(problem);
        return false;
    }
    // A firewall switched off keeps its entries, to use them again once on: ours goes all the same.
    const Status closed = firewall_.Manager->ClosePort(request);
    if (closed == Status::Ok) {
        // A wider rule that is not ours (an administrator's range of ports) may have let
        // the port in before ours did, and still does.
        if (firewall_.Manager->FindOpenPort(request).status == Status::Ok)
            UserLine("The firewall holds nothing of this tool's for " + subject + " now (\"" + name +
                     "\"), but another rule still lets " + subject + " in; that rule is not this tool's and stays.");
        else
            UserLine("The firewall no longer lets " + subject + " in (\"" + name + "\" removed).");
        return true;
    }
    if (closed == Status::NotFound) {
        UserLine("The firewall holds no entry \"" + name + "\" for " + subject + "; any other entry stays.");
        return true;
    }
    StatusLine("The firewall entry \"" + name + "\" was not removed", firewall::StatusCode(closed));
    problem = "The firewall entry for port " + std::to_string(port) + " could not be removed" +
              (closed == Status::AccessDenied ? ": this needs an administrator." : ".") +
              " Remove it in the firewall's settings, or try again.";
    Headline(problem);
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
