#include "ipv6_opening.h"

#include "firewall_detection.h"
#include "platform/closed_over_ipv6.h"
#include "platform/utf8.h"

namespace firewall {

void LetInOverIpv6(int port, const std::vector<std::string>& protocols)
{
    const std::unique_ptr<FirewallManager> manager = DetectFirewallManager();
    if (!manager || manager->OpenProfile() != Status::Ok || !manager->Enabled()) return;
    ForgetClosedOverIpv6(port);
    for (const std::string& name : protocols) {
        const Protocol protocol = name == "TCP" ? Protocol::Tcp : Protocol::Udp;
        manager->OpenPortOverIpv6(port, protocol, WideFromUtf8(OwnRuleName(port, protocol)));
        const std::string gap = manager->Ipv6Gap(port, protocol);
        if (!gap.empty()) NoteClosedOverIpv6(port, gap);
    }
}

} // namespace firewall
