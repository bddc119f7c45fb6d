// Every wait on the network ends at a deadline on the monotonic clock.
#pragma once

#include <chrono>

namespace gateway {

using Clock = std::chrono::steady_clock;
using Deadline = Clock::time_point;

// Whole milliseconds until `deadline`, rounded up so a wait never ends early; 0 once it has passed.
inline int MillisecondsLeft(Deadline deadline)
{
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

inline Deadline Earlier(Deadline a, Deadline b) { return a < b ? a : b; }

} // namespace gateway
