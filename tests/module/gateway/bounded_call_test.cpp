// A blocking call in a child process: its answer comes back, and a child that overruns
// its deadline, dies or grows without bound gives none and is not left behind.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <functional>
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
    const std::string withZero("answer\0with zero", 16);
    EXPECT_EQ(gateway::RunBounded([&withZero] { return withZero; }, Clock::now() + 2s), withZero);
    EXPECT_EQ(gateway::RunBounded([] { return std::string(); }, Clock::now() + 2s), std::string());
    // Many pipe buffers, and well within what the child may grow by.
    EXPECT_EQ(gateway::RunBounded([] { return std::string(16 << 20, 'x'); }, Clock::now() + 5s)->size(), 16u << 20);
    const auto pair = gateway::RunBoundedFor<Pair>([] { return Pair{718, "refused"}; }, Clock::now() + 2s);
    ASSERT_TRUE(pair);
    EXPECT_EQ(pair->number, 718);
    EXPECT_STREQ(pair->text, "refused");
    int seen = 1;
    EXPECT_TRUE(gateway::RunBoundedFor<int>([&seen] { return seen = 2; }, Clock::now() + 2s));
    EXPECT_EQ(seen, 1) << "the child works on a copy";
    EXPECT_TRUE(NoChildLeft());
}

TEST(BoundedCall, NoAnswerFromAChildThatOverrunsDiesOrGrows)
{
    const StderrCapture quiet;
    const struct {
        const char* name;
        std::function<std::string()> work;
        std::chrono::milliseconds deadline; // from now
    } cases[] = {
        {"sleeps past the deadline", [] { std::this_thread::sleep_for(30s); return std::string("late"); }, 300ms},
        {"deadline already passed", [] { return std::string("x"); }, -1000ms},
        {"exits with status 3", []() -> std::string { _exit(3); }, 2000ms},
        {"grows by 256 MB", [] { return std::string(256 << 20, 'x'); }, 5000ms},
    };
    for (const auto& c : cases) {
        const Stopwatch watch;
        EXPECT_FALSE(gateway::RunBounded(c.work, Clock::now() + c.deadline)) << c.name;
        EXPECT_LT(watch.Milliseconds(), 1000) << c.name;
        EXPECT_TRUE(NoChildLeft()) << c.name;
    }
    EXPECT_FALSE(gateway::RunBoundedFor<Pair>([]() -> Pair { _exit(0); }, Clock::now() + 2s)) << "no bytes, no answer";
}
