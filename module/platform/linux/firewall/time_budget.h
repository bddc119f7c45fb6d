// The time the firewall work of one module run may take in all. The front end waits
// 10 seconds for the whole run, and the gateway needs its share of that.
#pragma once

#include <chrono>

namespace firewall {

class TimeBudget {
public:
    using Clock = std::chrono::steady_clock;

    explicit TimeBudget(std::chrono::milliseconds total) : left_(total) {}

    std::chrono::milliseconds Remaining() const { return left_; }
    bool Exhausted() const { return left_.count() <= 0; }

    // Takes the time since `start` off what is left.
    void ChargeSince(Clock::time_point start)
    {
        left_ -= std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
        if (left_.count() < 0) left_ = std::chrono::milliseconds(0);
    }

private:
    std::chrono::milliseconds left_;
};

// All firewall calls of one run together.
constexpr std::chrono::milliseconds kFirewallBudget{4000};

} // namespace firewall
