// A blocking call in a child process: its answer comes back, and a call that overruns
// its deadline is killed without holding the caller.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <thread>

#include "gateway_test_support.h"
#include "platform/linux/gateway/bounded_call.h"

using gateway::Clock;
using namespace std::chrono_literals;

namespace {

// No child of the test process is left, running or unreaped.
bool NoChildLeft() { return waitpid(-1, nullptr, WNOHANG) < 0 && errno == ECHILD; }

struct Pair {
    int number;
    char text[16];
};

} // namespace

TEST(BoundedCall, ReturnsWhatTheChildAnswered)
{
    EXPECT_EQ(gateway::RunBounded([] { return std::string("answer\0with zero", 16); }, Clock::now() + 2s),
              std::string("answer\0with zero", 16));
    EXPECT_EQ(gateway::RunBounded([] { return std::string(100000, 'x'); }, Clock::now() + 2s)->size(), 100000u);
    EXPECT_EQ(gateway::RunBounded([] { return std::string(); }, Clock::now() + 2s), std::string());
    const auto pair = gateway::RunBoundedFor<Pair>([] { return Pair{718, "refused"}; }, Clock::now() + 2s);
    ASSERT_TRUE(pair);
    EXPECT_EQ(pair->number, 718);
    EXPECT_STREQ(pair->text, "refused");
    EXPECT_TRUE(NoChildLeft());
}

TEST(BoundedCall, TheChildWorksOnACopy)
{
    int seen = 1;
    EXPECT_TRUE(gateway::RunBoundedFor<int>([&seen] { return seen = 2; }, Clock::now() + 2s));
    EXPECT_EQ(seen, 1);
}

TEST(BoundedCall, AnOverrunningChildIsKilledAtTheDeadline)
{
    const Stopwatch watch;
    const auto answer = gateway::RunBounded(
        [] {
            std::this_thread::sleep_for(30s);
            return std::string("late");
        },
        Clock::now() + 300ms);
    EXPECT_FALSE(answer);
    EXPECT_GE(watch.Milliseconds(), 290);
    EXPECT_LT(watch.Milliseconds(), 1000);
    EXPECT_TRUE(NoChildLeft());
}

TEST(BoundedCall, ADeadlineInThePastRunsNothingToTheEnd)
{
    EXPECT_FALSE(gateway::RunBounded([] { return std::string("x"); }, Clock::now() - 1s));
    EXPECT_TRUE(NoChildLeft());
}

TEST(BoundedCall, TheChildCannotGrowWithoutBound)
{
    const StderrCapture quiet;
    EXPECT_TRUE(gateway::RunBounded([] { return std::string(16 << 20, 'x'); }, Clock::now() + 5s));
    EXPECT_FALSE(gateway::RunBounded([] { return std::string(256 << 20, 'x'); }, Clock::now() + 5s));
    EXPECT_TRUE(NoChildLeft());
}

TEST(BoundedCall, AChildThatDiesGivesNoAnswer)
{
    const StderrCapture quiet;
    EXPECT_FALSE(gateway::RunBounded([]() -> std::string { _exit(3); }, Clock::now() + 2s));
    EXPECT_FALSE(gateway::RunBoundedFor<Pair>([]() -> Pair { _exit(0); }, Clock::now() + 2s));
    EXPECT_TRUE(NoChildLeft());
}
