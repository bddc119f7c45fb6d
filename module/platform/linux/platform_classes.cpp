#include "platform/platform_classes.h"
#include "gateway/gateway_classes.h"
#include "firewall/linux/firewall_classes.h"

void RegisterPlatformClasses()
{
    RegisterGatewayClasses();
    RegisterFirewallClasses();
}
