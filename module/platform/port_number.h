// The ports our gateway and firewall classes take. Anything else is refused rather
// than passed on, since gateways wrap it (70000 becomes 4464) and firewalld fails on it.
#pragma once

#include "com/com_api.h"

inline bool IsPortNumber(LONG port) { return port >= 1 && port <= 65535; }
