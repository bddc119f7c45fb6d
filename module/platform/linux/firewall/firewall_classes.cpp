#include "firewall_classes.h"

#include <utility>

#include "firewall_detection.h"
#include "hand_out.h"
#include "net_fw_open_port.h"

void RegisterFirewallClasses()
{
    RegisterFirewallClasses(firewall::DetectFirewallManager);
}

void RegisterFirewallClasses(firewall::ManagerFactory factory)
{
    comrt::RegisterClass(CLSID_NetFwMgr, [factory = std::move(factory)](REFIID iid, void** object) {
        return firewall::HandOut<firewall::NetFwMgr>(iid, object, factory);
    });
    comrt::RegisterClass(CLSID_NetFwOpenPort, comrt::FactoryFor<firewall::NetFwOpenPort>());
}
