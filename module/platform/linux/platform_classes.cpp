#include "platform/platform_classes.h"

void RegisterPlatformClasses()
{
}
