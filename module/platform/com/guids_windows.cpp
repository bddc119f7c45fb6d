// The one translation unit that defines the COM class and interface identifiers
// the module uses; every other file only declares them.
#include <initguid.h>

#include "platform/com/com_api.h"
