#include "platform/platform_classes.h"
#include "gateway/gateway_classes.h"
#include "platform/linux/firewall/firewall_classes.h"

void RegisterPlatformClasses()
{
    RegisterGatewayClasses();
    RegisterFirewallClasses();
}
