#include "firewall/linux/firewall_classes.h"

#include <utility>

#include "firewall/linux/firewall_detection.h"
#include "firewall/linux/hand_out.h"
#include "firewall/linux/ipv6_opening.h"
#include "firewall/linux/net_fw_open_port.h"
#include "platform/closed_over_ipv6.h"

void RegisterFirewallClasses()
{
    RegisterFirewallClasses(firewall::DetectFirewallManager);
    // ufw keeps one rule per family: the forward's IPv6 side adds ours there, renew
    // checks it and close removes it.
    SetIpv6Rules({firewall::LetInOverIpv6, firewall::FindOwnOverIpv6, firewall::RemoveOwnOverIpv6});
}

void RegisterFirewallClasses(firewall::ManagerFactory factory)
{
    comrt::RegisterClass(CLSID_NetFwMgr, [factory = std::move(factory)](REFIID iid, void** object) {
        return firewall::HandOut<firewall::NetFwMgr>(iid, object, factory);
    });
    comrt::RegisterClass(CLSID_NetFwOpenPort, comrt::FactoryFor<firewall::NetFwOpenPort>());
}
