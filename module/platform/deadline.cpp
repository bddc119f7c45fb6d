#include "platform/deadline.h"

namespace {
// Set while the program starts, before main.
const Deadline runEnd = Clock::now() + kRunTime;
} // namespace

Deadline RunDeadline() { return runEnd; }
