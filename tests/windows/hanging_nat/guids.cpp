// Defines the NAT identifiers for the stand-in server.
#include <initguid.h>

#include "platform/com/natupnp_windows.h"
