#include "firewall/linux/every_firewall.h"

#include <algorithm>
#include <utility>

#include "firewall/sentences.h"

namespace firewall {
namespace {

std::string Subject(const PortRequest& request)
{
    return std::to_string(request.port) + "/" + std::string(LowerName(request.protocol));
}

Opening Answer(Status status) { return {status, StatusCode(status), {}, {}}; }

} // namespace

EveryFirewall::EveryFirewall(std::vector<NamedManager> managers, Fallback whenNoneIsOn)
    : managers_(std::move(managers)), whenNoneIsOn_(std::move(whenNoneIsOn))
{
}

Status EveryFirewall::OpenProfile()
{
    for (NamedManager& each : managers_) {
        const Status status = each.manager->OpenProfile();
        if (status != Status::Ok) return status;
        if (each.manager->Enabled()) on_.push_back(&each);
    }
    if (!on_.empty() || !whenNoneIsOn_) return Status::Ok;
    managers_.push_back(whenNoneIsOn_());
    NamedManager& fallback = managers_.back();
    const Status status = fallback.manager->OpenProfile();
    if (status == Status::Ok && fallback.manager->Enabled()) on_.push_back(&fallback);
    return status;
}

Status EveryFirewall::StateRead() const
{
    if (!on_.empty()) return Status::Ok;
    for (const NamedManager& each : managers_)
        if (each.manager->StateRead() != Status::Ok) return each.manager->StateRead();
    return Status::Ok;
}

bool EveryFirewall::KeepsFamiliesApart() const
{
    return std::any_of(managers_.begin(), managers_.end(),
                       [](const NamedManager& each) { return each.manager->KeepsFamiliesApart(); });
}

FirewallManager::Found EveryFirewall::FindOpenPort(const PortRequest& request)
{
    Found found{Status::Ok, {}};
    for (NamedManager* each : on_) {
        const Found kept = each->manager->FindOpenPort(request);
        if (kept.status != Status::Ok) return {kept.status, found.name};
        if (found.name.empty()) found.name = kept.name;
    }
    return found;
}

Opening EveryFirewall::OpenPort(const PortRequest& request)
{
    return request.family == Family::Ipv4 ? OpenOverIpv4(request) : OpenOverIpv6(request);
}

// Each says what it keeps, read back from it: firewalld keeps no name, for one. Where
// every one let the port in already (found so only once it could be read), nothing of
// ours was added.
Opening EveryFirewall::OpenOverIpv4(const PortRequest& request)
{
    if (FindOpenPort(request).status == Status::Ok) return Answer(Status::AlreadyOpen);
    Opening opening = Answer(Status::Ok);
    bool added = false;
    for (NamedManager* each : on_) {
        const bool open = each->manager->FindOpenPort(request).status == Status::Ok;
        Opening own = open ? Answer(Status::AlreadyOpen) : each->manager->OpenPort(request);
        for (AdministratorStep& step : own.leftToAdministrator) opening.leftToAdministrator.push_back(std::move(step));
        if (own.status == Status::AlreadyOpen) {
            Tell(sentence::AlreadyLetsIn, {{"manager", each->name}, {"subject", Subject(request)}});
            continue;
        }
        if (own.status != Status::Ok) {
            Tell(sentence::DidNotLetIn, {{"manager", each->name}, {"subject", Subject(request)}});
            if (opening.status == Status::Ok) opening.status = own.status;
            continue;
        }
        added = true;
        const Found kept = each->manager->FindOpenPort(request);
        const bool named = kept.status == Status::Ok && !kept.name.empty();
        if (named)
            Tell(sentence::NowLetsInAs, {{"manager", each->name}, {"subject", Subject(request)}, {"name", kept.name}});
        else
            Tell(sentence::NowLetsIn, {{"manager", each->name}, {"subject", Subject(request)}});
    }
    if (opening.status == Status::Ok && !added) opening.status = Status::AlreadyOpen;
    opening.code = StatusCode(opening.status);
    return opening;
}

Opening EveryFirewall::OpenOverIpv6(const PortRequest& request)
{
    Opening opening = Answer(Status::AlreadyOpen);
    for (NamedManager* each : on_) {
        const Opening own = each->manager->OpenPort(request);
        if (own.status == Status::Ok) {
            Tell(sentence::NowLetsInOverIpv6, {{"manager", each->name}, {"subject", Subject(request)}});
            opening.status = own.status;
        } else if (opening.status == Status::AlreadyOpen) {
            opening.status = own.status;
        }
        for (const std::string& gap : own.closedOverIpv6) opening.closedOverIpv6.push_back(each->name + ": " + gap);
    }
    opening.code = StatusCode(opening.status);
    return opening;
}

Status EveryFirewall::FindOwnPort(const PortRequest& request)
{
    if (request.family == Family::Ipv4) return FirewallManager::FindOwnPort(request);
    Status answer = Status::NotFound;
    for (NamedManager* each : on_) {
        if (!each->manager->KeepsFamiliesApart()) continue;
        const Status status = each->manager->FindOwnPort(request);
        if (status == Status::Ok) return status;
        if (status != Status::NotFound) answer = status;
    }
    return answer;
}

Status EveryFirewall::ClosePort(const PortRequest& request)
{
    Status answer = Status::Ok;
    for (NamedManager& each : managers_) {
        if (!each.manager->Enabled() && !each.manager->KeepsRulesWhileOff()) continue;
        if (request.family == Family::Ipv6 && !each.manager->KeepsFamiliesApart()) continue;
        const Status status = each.manager->ClosePort(request);
        if (status != Status::Ok)
            Tell(sentence::EntryNotRemoved, {{"manager", each.name}, {"subject", Subject(request)}});
        if (answer == Status::Ok) answer = status;
    }
    return answer;
}

} // namespace firewall
