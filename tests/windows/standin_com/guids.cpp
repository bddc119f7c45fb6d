// Defines the firewall and NAT identifiers for the stand-in server.
#include <initguid.h>

#include <windows.h>
#include <netfw.h>

#include "platform/com/natupnp_windows.h"
