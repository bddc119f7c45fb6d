#include "firewall/firewall_opener.h"

#include <algorithm>

#include "firewall/sentences.h"
#include "text_lines.h"

using firewall::AdministratorStep;
using firewall::Status;

Status OpenFirewallProfile(FirewallState& state)
{
    const Status status = state.Manager ? state.Manager->OpenProfile() : Status::Failed;
    state.ProfileObtained = status == Status::Ok;
    state.FirewallOn = state.ProfileObtained && IsFirewallOn(*state.Manager);
    return status;
}

bool IsFirewallOn(const firewall::FirewallManager& manager)
{
    return manager.StateRead() == Status::Ok && manager.Enabled();
}

firewall::Opening OpenFirewallPort(firewall::FirewallManager& manager, const firewall::PortRequest& request)
{
    return manager.OpenPort(request);
}

namespace {

Told Firewalld(const std::vector<const AdministratorStep*>& steps)
{
    const AdministratorStep& last = *steps.back();
    std::string ports;
    for (const AdministratorStep* each : steps) ports += " --add-port=" + each->what;
    return Compose(firewall::sentence::FirewalldNeedsPassword,
                   {{"why", last.why}, {"zone", last.zone}, {"ports", ports}});
}

Told Ufw(const std::vector<const AdministratorStep*>& steps)
{
    std::string commands;
    for (const AdministratorStep* each : steps) commands += (commands.empty() ? "" : " and ") + each->what;
    return Compose(firewall::sentence::NoPasswordDialog, {{"commands", commands}});
}

} // namespace

std::vector<Told> LeftToAdministrator(const std::vector<firewall::Opening>& openings)
{
    std::vector<Told> headlines;
    for (const auto& [kind, headline] : {std::pair{AdministratorStep::Firewall::Firewalld, &Firewalld},
                                         std::pair{AdministratorStep::Firewall::Ufw, &Ufw}}) {
        std::vector<const AdministratorStep*> steps;
        for (const firewall::Opening& opening : openings)
            for (const AdministratorStep& step : opening.leftToAdministrator)
                if (step.firewall == kind) steps.push_back(&step);
        if (!steps.empty()) headlines.push_back(headline(steps));
    }
    return headlines;
}

FirewallOverIpv6 OpenFirewallOverIpv6(const firewall::FirewallFactory& firewall, int port,
                                      const std::vector<Protocol>& protocols, const std::string& internalAddress)
{
    FirewallOverIpv6 outcome;
    FirewallState state{firewall()};
    if (OpenFirewallProfile(state) != Status::Ok) {
        outcome.closed.push_back("the firewall could not be read; try again as a user who may read it");
        return outcome;
    }
    if (!state.FirewallOn) return outcome;
    for (const Protocol protocol : protocols) {
        const std::wstring name = WidenBytes(OwnEntryName(port, protocol));
        const firewall::Opening opening =
            OpenFirewallPort(*state.Manager, {port, protocol, Family::Ipv6, name, internalAddress});
        if (opening.status == Status::Ok) outcome.entriesMade.push_back(name);
        for (const std::string& each : opening.closedOverIpv6)
            if (std::find(outcome.closed.begin(), outcome.closed.end(), each) == outcome.closed.end())
                outcome.closed.push_back(each);
    }
    return outcome;
}
