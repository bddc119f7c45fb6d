#include "firewall/windows/firewall_over_ipv6_windows.h"

#include "firewall/firewall_opener.h"
#include "platform/closed_over_ipv6.h"
#include "record/forward_words.h"
#include "text_lines.h"

std::vector<std::string> OpenFirewallOverIpv6(int port, const std::vector<std::string>& protocols)
{
    ForgetClosedOverIpv6(port);
    FirewallState firewall;
    if (FAILED(CoInitialize(nullptr)) || FAILED(OpenFirewallProfile(firewall))) {
        NoteClosedOverIpv6(port, "the firewall could not be read; try again as a user who may read it");
        return {};
    }
    if (!IsFirewallOn(firewall.Profile.get())) return {};
    std::vector<std::string> added;
    for (const std::string& protocol : protocols) {
        const std::string subject = protocol + " " + std::to_string(port);
        const HRESULT opened =
            OpenFirewallPort(firewall.Profile.get(), port,
                             protocol == "TCP" ? NET_FW_IP_PROTOCOL_TCP : NET_FW_IP_PROTOCOL_UDP,
                             WidenBytes(OwnEntryName(port, protocol)));
        if (opened == S_OK)
            added.push_back(protocol);
        else if (FAILED(opened))
            NoteClosedOverIpv6(port, "the firewall did not let " + subject + " in" +
                                         (opened == E_ACCESSDENIED ? ": this needs an administrator" : "") +
                                         "; add an entry in its settings, or ask an administrator");
    }
    return added;
}
