// The one place that decides where COM comes from: the system on Windows, our own
// runtime elsewhere. The module's logic calls the same names on every platform.
#pragma once

#ifdef _WIN32
// Before windows.h, which would bring the old winsock.h that our gateway client's
// sockets cannot share a unit with.
#include <winsock2.h>
#include <windows.h>
#include <ole2.h>
#include <oleauto.h>
#include <netfw.h>
#include <taskschd.h>
#include "com/natupnp_windows.h"
#include "com/runtime/com_object.h"
#else
#include "com/runtime/com_runtime.h"
#endif
