// The one place that decides where COM comes from: the system on Windows, our own
// runtime elsewhere. The module's logic calls the same names on every platform.
#pragma once

#ifdef _WIN32
#include <windows.h>
#include <ole2.h>
#include <oleauto.h>
#include <netfw.h>
#include <taskschd.h>
#include "com/natupnp_windows.h"
#else
#include "com/runtime/com_runtime.h"
#endif
