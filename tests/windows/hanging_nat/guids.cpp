// Defines the NAT identifiers for the stand-in server.
#include <initguid.h>

#include "com/natupnp_windows.h"
