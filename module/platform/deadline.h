// One deadline for the whole run: every wait on the gateway or the firewall ends by
// then, on the run's clock, well inside the window's 10 s wait for the module. The one
// exception is a person asked for a password: the run's clock waits for them, up to
// kPasswordWait over the whole run, and the window waits as long once told.
#pragma once

#include <chrono>

// The monotonic clock less the time a person spent on a password prompt: when a prompt
// ends, the clock steps back by its length, so every deadline of the run moves on by
// that much. During the prompt it runs on, so the prompt's own end is kept on it.
struct RunClock {
    using duration = std::chrono::steady_clock::duration;
    using rep = duration::rep;
    using period = duration::period;
    using time_point = std::chrono::time_point<RunClock>;
    static constexpr bool is_steady = false;  // it steps back after a prompt
    static time_point now() noexcept;
};

using Clock = RunClock;
using Deadline = Clock::time_point;

inline constexpr std::chrono::milliseconds kRunTime{9000};
inline constexpr std::chrono::minutes kPasswordWait{2};

// 9 s after the module started, and later by the time password prompts took.
Deadline RunDeadline();

// While it lives, a person is asked for a password and the run's deadline waits.
class PasswordPause {
public:
    PasswordPause();
    ~PasswordPause();
    PasswordPause(const PasswordPause&) = delete;
    PasswordPause& operator=(const PasswordPause&) = delete;

    // When the prompt is given up: what is left of kPasswordWait over the run (shorter
    // where KAVRO_PASSWORD_WAIT_SECONDS, for tests, says so).
    Deadline End() const { return end_; }

private:
    std::chrono::steady_clock::time_point started_;
    Deadline end_;
};

// Whether a person may still be given time for a password prompt in this run.
bool PasswordTimeLeft();

// Whole milliseconds until `deadline`, rounded up so a wait never ends early; 0 once it has passed.
inline int MillisecondsLeft(Deadline deadline)
{
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

inline Deadline Earlier(Deadline a, Deadline b) { return a < b ? a : b; }
