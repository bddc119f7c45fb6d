#include "platform/closed_over_ipv6.h"

#include <algorithm>
#include <map>
#include <set>
#include <utility>

namespace {

std::map<int, std::vector<std::string>>& Noted()
{
    static std::map<int, std::vector<std::string>> closed;
    return closed;
}

Ipv6Rules& Rules()
{
    static Ipv6Rules rules{};
    return rules;
}

std::set<std::pair<int, std::string>>& OwnRules()
{
    static std::set<std::pair<int, std::string>> own;
    return own;
}

} // namespace

void NoteClosedOverIpv6(int port, const std::string& what)
{
    std::vector<std::string>& list = Noted()[port];
    if (std::find(list.begin(), list.end(), what) == list.end()) list.push_back(what);
}

std::vector<std::string> ClosedOverIpv6(int port)
{
    const auto found = Noted().find(port);
    return found == Noted().end() ? std::vector<std::string>() : found->second;
}

void ForgetClosedOverIpv6(int port) { Noted().erase(port); }

void SetIpv6Rules(const Ipv6Rules& rules) { Rules() = rules; }

bool Ipv6RulesOfTheirOwn() { return Rules().remove != nullptr; }

void OpenOverIpv6(int port, const std::vector<std::string>& protocols)
{
    if (!Rules().open) return;
    for (const std::string& protocol : Rules().open(port, protocols)) OwnRules().emplace(port, protocol);
}

bool OwnRuleOverIpv6(int port, const std::string& protocol) { return OwnRules().count({port, protocol}) > 0; }

std::optional<bool> FindOwnRuleOverIpv6(int port, const std::string& protocol, const std::string& name)
{
    return Rules().find ? Rules().find(port, protocol, name) : std::nullopt;
}

bool RemoveOwnRuleOverIpv6(int port, const std::string& protocol)
{
    return !Rules().remove || Rules().remove(port, protocol);
}
