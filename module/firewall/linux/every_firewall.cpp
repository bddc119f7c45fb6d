#include "firewall/linux/every_firewall.h"

#include <utility>

#include "diagnostics.h"
#include "platform/closed_over_ipv6.h"

namespace firewall {
namespace {

std::string Subject(int port, Protocol protocol) { return std::to_string(port) + "/" + ProtocolName(protocol); }

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

// Every port a forward opens is looked up first: what keeps it closed over IPv6 is
// noted then, for the forward's IPv6 side.
Status EveryFirewall::FindOpenPort(int port, Protocol protocol, std::string& name)
{
    name.clear();
    const std::string gap = Ipv6Gap(port, protocol);
    if (!gap.empty()) NoteClosedOverIpv6(port, gap);
    for (NamedManager* each : on_) {
        std::string kept;
        const Status status = each->manager->FindOpenPort(port, protocol, kept);
        if (status != Status::Ok) return status;
        if (name.empty()) name = kept;
    }
    return Status::Ok;
}

// Each says what it keeps, read back from it: firewalld keeps no name, for one. Where
// every one let the port in already (found so only once it could be read), nothing of
// ours was added.
Status EveryFirewall::OpenPort(int port, Protocol protocol, const std::wstring& name)
{
    Status answer = Status::Ok;
    bool added = false;
    for (NamedManager* each : on_) {
        std::string kept;
        const bool open = each->manager->FindOpenPort(port, protocol, kept) == Status::Ok;
        const Status status = open ? Status::AlreadyOpen : each->manager->OpenPort(port, protocol, name);
        if (status == Status::AlreadyOpen) {
            UserLine(each->name + " already lets " + Subject(port, protocol) + " in.");
            continue;
        }
        if (status != Status::Ok) {
            UserLine(each->name + " did not let " + Subject(port, protocol) + " in.");
            if (answer == Status::Ok) answer = status;
            continue;
        }
        added = true;
        const bool named = each->manager->FindOpenPort(port, protocol, kept) == Status::Ok && !kept.empty();
        UserLine(each->name + " now lets " + Subject(port, protocol) + " in" +
                 (named ? ", as \"" + kept + "\"." : "."));
    }
    return answer == Status::Ok && !added ? Status::AlreadyOpen : answer;
}

std::string EveryFirewall::Ipv6Gap(int port, Protocol protocol)
{
    std::string gaps;
    for (NamedManager* each : on_) {
        const std::string gap = each->manager->Ipv6Gap(port, protocol);
        if (!gap.empty()) gaps += (gaps.empty() ? "" : "; ") + each->name + ": " + gap;
    }
    return gaps;
}

Status EveryFirewall::OpenPortOverIpv6(int port, Protocol protocol, const std::wstring& name)
{
    Status answer = Status::AlreadyOpen;
    for (NamedManager* each : on_) {
        if (each->manager->Ipv6Gap(port, protocol).empty()) continue;
        const Status status = each->manager->OpenPortOverIpv6(port, protocol, name);
        if (status == Status::Ok) {
            UserLine(each->name + " now lets " + Subject(port, protocol) + " in over IPv6.");
            answer = status;
        } else if (answer == Status::AlreadyOpen) {
            answer = status;
        }
    }
    return answer;
}

Status EveryFirewall::FindOwnPortOverIpv6(int port, Protocol protocol, const std::string& name)
{
    Status answer = Status::NotFound;
    for (NamedManager* each : on_) {
        const Status status = each->manager->FindOwnPortOverIpv6(port, protocol, name);
        if (status == Status::Ok) return status;
        if (status != Status::NotFound) answer = status;
    }
    return answer;
}

Status EveryFirewall::ClosePort(int port, Protocol protocol)
{
    return EachCloses(&FirewallManager::ClosePort, port, protocol);
}

Status EveryFirewall::ClosePortOverIpv6(int port, Protocol protocol)
{
    return EachCloses(&FirewallManager::ClosePortOverIpv6, port, protocol);
}

Status EveryFirewall::EachCloses(Status (FirewallManager::*close)(int, Protocol), int port, Protocol protocol)
{
    Status answer = Status::Ok;
    for (NamedManager& each : managers_) {
        if (!each.manager->Enabled() && !each.manager->KeepsRulesWhileOff()) continue;
        const Status status = (each.manager.get()->*close)(port, protocol);
        if (status != Status::Ok) UserLine(each.name + " did not remove its entry for " + Subject(port, protocol) + ".");
        if (answer == Status::Ok) answer = status;
    }
    return answer;
}

} // namespace firewall
