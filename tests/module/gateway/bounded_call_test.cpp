// A blocking call in a child process: its answer comes back, and a child that overruns
// its deadline, dies or grows without bound gives none and is not left behind.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <functional>
#include <thread>

#include "gateway_test_support.h"
#include "platform/linux/gateway/bounded_call.h"

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

// Alive and not a zombie waiting for whoever adopted it.
static bool Running(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("State:", 0) == 0) return line.find('Z') == std::string::npos;
    return false;
}

TEST(BoundedCall, TheChildEndsWithItsCallerOrAtTheDeadline)
{
    const struct {
        const char* name;
        int signal;                         // sent to the caller once the child runs
        std::chrono::milliseconds deadline; // the call's, from now
    } cases[] = {
        {"caller killed", SIGKILL, 20000ms},
        {"caller stopped past the deadline", SIGSTOP, 300ms},
    };
    for (const auto& c : cases) {
        int ends[2];
        ASSERT_EQ(pipe(ends), 0);
        const pid_t caller = fork();
        if (caller == 0) {
            gateway::RunBounded([&ends] {
                const pid_t self = getpid();
                (void)!write(ends[1], &self, sizeof self);
                std::this_thread::sleep_for(30s);
                return std::string();
            }, Clock::now() + c.deadline);
            _exit(0);
        }
        close(ends[1]);
        pid_t child = 0;
        ASSERT_EQ(read(ends[0], &child, sizeof child), static_cast<ssize_t>(sizeof child)) << c.name;
        close(ends[0]);
        kill(caller, c.signal);
        std::this_thread::sleep_for(1s);
        EXPECT_FALSE(Running(child)) << c.name;
        kill(caller, SIGKILL);
        waitpid(caller, nullptr, 0);
        kill(child, SIGKILL); // only when the check above failed
    }
}
