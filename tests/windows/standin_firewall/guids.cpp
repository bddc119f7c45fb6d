// Defines the firewall identifiers for the stand-in server.
#include <initguid.h>

#include <windows.h>
#include <netfw.h>
