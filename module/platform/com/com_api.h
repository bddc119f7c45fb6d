// The one place that decides where COM comes from: the system on Windows. Elsewhere
// only the unit tests' stand-in (tests/module/com_standin) declares it, and no target of
// the program can find that: a Linux source of Kavro that reaches for COM does not build.
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
#include "platform/com/natupnp_windows.h"
#else
#include "com_standin.h"
#endif
