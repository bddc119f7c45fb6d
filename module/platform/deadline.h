// One deadline for the whole run: every wait on the gateway or the firewall ends by
// then, on the monotonic clock, well inside the window's 10 s wait for the module.
#pragma once

#include <chrono>

using Clock = std::chrono::steady_clock;
using Deadline = Clock::time_point;

inline constexpr std::chrono::milliseconds kRunTime{9000};

// 9 s after the module started.
Deadline RunDeadline();

// Whole milliseconds until `deadline`, rounded up so a wait never ends early; 0 once it has passed.
inline int MillisecondsLeft(Deadline deadline)
{
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

inline Deadline Earlier(Deadline a, Deadline b) { return a < b ? a : b; }
