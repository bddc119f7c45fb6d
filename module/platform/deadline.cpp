#include "platform/deadline.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <string>

namespace {

using Steady = std::chrono::steady_clock;

// The time prompts took so far, in the steady clock's ticks.
std::atomic<Steady::rep> paused{0};

// The password wait, shortened only where a test asks for it.
Steady::duration PasswordWait()
{
    const char* asked = std::getenv("KAVRO_PASSWORD_WAIT_SECONDS");
    if (asked == nullptr || *asked == '\0' || std::string(asked).find_first_not_of("0123456789") != std::string::npos)
        return kPasswordWait;
    const long seconds = std::strtol(asked, nullptr, 10);
    return std::min<Steady::duration>(std::chrono::seconds(seconds), kPasswordWait);
}

Steady::duration PasswordLeft() { return std::max(PasswordWait() - Steady::duration(paused.load()), Steady::duration(0)); }

// Set while the program starts, before main.
const Deadline runEnd = Clock::now() + kRunTime;

} // namespace

RunClock::time_point RunClock::now() noexcept
{
    return time_point(Steady::now().time_since_epoch() - Steady::duration(paused.load()));
}

Deadline RunDeadline() { return runEnd; }

bool PasswordTimeLeft() { return PasswordLeft() > Steady::duration(0); }

PasswordPause::PasswordPause() : started_(Steady::now()), end_(Clock::now() + PasswordLeft()) {}

PasswordPause::~PasswordPause()
{
    const Steady::duration took = std::min(Steady::now() - started_, PasswordWait());
    paused += took.count();
}
