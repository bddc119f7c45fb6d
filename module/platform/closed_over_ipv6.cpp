#include "platform/closed_over_ipv6.h"

#include <algorithm>
#include <map>

namespace {

std::map<int, std::vector<std::string>>& Noted()
{
    static std::map<int, std::vector<std::string>> closed;
    return closed;
}

Ipv6Opener& Opener()
{
    static Ipv6Opener opener = nullptr;
    return opener;
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

void SetIpv6Opener(Ipv6Opener opener) { Opener() = opener; }

void OpenOverIpv6(int port, const std::vector<std::string>& protocols)
{
    if (Opener()) Opener()(port, protocols);
}
