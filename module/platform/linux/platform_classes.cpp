#include "platform/platform_classes.h"
#include "gateway/gateway_classes.h"

void RegisterPlatformClasses() { RegisterGatewayClasses(); }
