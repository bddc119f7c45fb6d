#include "firewall/linux/ipv6_opening.h"

#include "firewall/linux/firewall_detection.h"
#include "platform/closed_over_ipv6.h"
#include "platform/utf8.h"

namespace firewall {
namespace {

// The machine's firewall managers with their profile read, once a run (reading it runs
// `ufw status`); null when it cannot be read.
FirewallManager* Manager()
{
    static const std::unique_ptr<FirewallManager> manager = [] {
        std::unique_ptr<FirewallManager> detected = DetectFirewallManager();
        return detected && detected->OpenProfile() == Status::Ok ? std::move(detected) : nullptr;
    }();
    return manager.get();
}

Protocol ProtocolNamed(const std::string& name) { return name == "TCP" ? Protocol::Tcp : Protocol::Udp; }

} // namespace

std::vector<std::string> LetInOverIpv6(int port, const std::vector<std::string>& protocols)
{
    FirewallManager* const manager = Manager();
    if (!manager || !manager->Enabled()) return {};
    ForgetClosedOverIpv6(port);
    std::vector<std::string> own;
    for (const std::string& name : protocols) {
        const Protocol protocol = ProtocolNamed(name);
        const std::wstring rule = WideFromUtf8(OwnRuleName(port, protocol));
        if (manager->OpenPortOverIpv6(port, protocol, rule) == Status::Ok) own.push_back(name);
        const std::string gap = manager->Ipv6Gap(port, protocol);
        if (!gap.empty()) NoteClosedOverIpv6(port, gap);
    }
    return own;
}

std::optional<bool> FindOwnOverIpv6(int port, const std::string& protocol, const std::string& name)
{
    FirewallManager* const manager = Manager();
    if (!manager) return std::nullopt;
    if (!manager->Enabled()) return true;
    const Status found = manager->FindOwnPortOverIpv6(port, ProtocolNamed(protocol), name);
    if (found == Status::Ok || found == Status::NotFound) return found == Status::Ok;
    return std::nullopt;
}

bool RemoveOwnOverIpv6(int port, const std::string& protocol)
{
    FirewallManager* const manager = Manager();
    return manager && (!manager->Enabled() || manager->ClosePortOverIpv6(port, ProtocolNamed(protocol)) == Status::Ok);
}

} // namespace firewall
