#include "platform/deadline.h"

namespace {
constexpr std::chrono::milliseconds kRunTime{9000};
// Set while the program starts, before main.
const Deadline runEnd = Clock::now() + kRunTime;
} // namespace

Deadline RunDeadline() { return runEnd; }
