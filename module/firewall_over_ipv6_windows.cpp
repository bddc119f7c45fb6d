#include "firewall_over_ipv6_windows.h"

#include "firewall_opener.h"
#include "platform/closed_over_ipv6.h"

std::vector<std::string> NoteFirewallOverIpv6(int port, const std::vector<std::string>& protocols)
{
    ForgetClosedOverIpv6(port);
    FirewallState firewall;
    if (FAILED(CoInitialize(nullptr)) || FAILED(OpenFirewallProfile(firewall))) {
        NoteClosedOverIpv6(port, "the firewall could not be read; try again as a user who may read it");
        return {};
    }
    if (!IsFirewallOn(firewall.Profile.get())) return {};
    for (const std::string& protocol : protocols) {
        const std::string subject = protocol + " " + std::to_string(port);
        bool open = false;
        if (FAILED(IsPortOpen(firewall.Profile.get(), port,
                              protocol == "TCP" ? NET_FW_IP_PROTOCOL_TCP : NET_FW_IP_PROTOCOL_UDP, open)))
            NoteClosedOverIpv6(port, "the firewall's entry for " + subject + " could not be read");
        else if (!open)
            NoteClosedOverIpv6(port, "the firewall has no entry that lets " + subject +
                                         " in; add one in its settings, or ask an administrator");
    }
    return {};
}
