// Real programs, run the way ufw is run.
#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "process_runner.h"

namespace firewall {
namespace {

using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

const std::vector<std::string> kEnvironment{"LC_ALL=C", "PATH=/usr/bin:/bin"};

// Alive and not a zombie waiting for whoever adopted it.
bool Running(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("State:", 0) == 0) return line.find('Z') == std::string::npos;
    return false;
}

TEST(ProcessRunner, ArgumentsReachTheProgramUntouched)
{
    const auto outcome = RunProcess({"/bin/echo", "it's", "$HOME", "a b", "*"}, kEnvironment, milliseconds(5000));
    EXPECT_EQ(outcome.end, ProcessOutcome::End::Exited);
    EXPECT_EQ(outcome.exitCode, 0);
    EXPECT_EQ(outcome.output, "it's $HOME a b *\n");
}

TEST(ProcessRunner, ChildGetsExactlyTheGivenEnvironment)
{
    const auto outcome = RunProcess({"/usr/bin/env"}, kEnvironment, milliseconds(5000));
    EXPECT_EQ(outcome.output, "LC_ALL=C\nPATH=/usr/bin:/bin\n");
}

TEST(ProcessRunner, CollectsStandardErrorAndExitCode)
{
    const auto outcome =
        RunProcess({"/bin/sh", "-c", "echo out; echo err >&2; exit 3"}, kEnvironment, milliseconds(5000));
    EXPECT_EQ(outcome.end, ProcessOutcome::End::Exited);
    EXPECT_EQ(outcome.exitCode, 3);
    EXPECT_EQ(outcome.output, "out\nerr\n");
}

TEST(ProcessRunner, StandardInputIsEmpty)
{
    const auto outcome = RunProcess({"/bin/cat"}, kEnvironment, milliseconds(5000));
    EXPECT_EQ(outcome.end, ProcessOutcome::End::Exited);
    EXPECT_EQ(outcome.output, "");
}

TEST(ProcessRunner, MissingProgramIsNotStarted)
{
    const auto outcome = RunProcess({"/nonexistent/ufw", "status"}, kEnvironment, milliseconds(5000));
    EXPECT_EQ(outcome.end, ProcessOutcome::End::NotStarted);
    EXPECT_EQ(outcome.startError, ENOENT);
}

TEST(ProcessRunner, SignalIsNoExit)
{
    const auto outcome = RunProcess({"/bin/sh", "-c", "kill -TERM $$"}, kEnvironment, milliseconds(5000));
    EXPECT_EQ(outcome.end, ProcessOutcome::End::Signaled);
}

TEST(ProcessRunner, OverstayingChildAndItsChildrenAreEnded)
{
    const auto started = Clock::now();
    // The grandchild keeps the output pipe open after its parent is gone.
    const auto outcome = RunProcess({"/bin/sh", "-c", "sleep 30 & echo $!; wait"}, kEnvironment, milliseconds(300));
    const auto took = Clock::now() - started;
    EXPECT_EQ(outcome.end, ProcessOutcome::End::TimedOut);
    EXPECT_LT(took, milliseconds(2000));
    const pid_t grandchild = std::stoi(outcome.output);
    ASSERT_GT(grandchild, 1);
    for (int i = 0; i < 200 && Running(grandchild); ++i) std::this_thread::sleep_for(milliseconds(10));
    EXPECT_FALSE(Running(grandchild)) << "killed with its process group";
}

TEST(ProcessRunner, OutputIsCapped)
{
    const auto outcome =
        RunProcess({"/bin/sh", "-c", "head -c 200000 /dev/zero | tr '\\0' x"}, kEnvironment, milliseconds(5000));
    EXPECT_EQ(outcome.end, ProcessOutcome::End::Exited);
    EXPECT_EQ(outcome.output.size(), kMaxOutput);
}

} // namespace
} // namespace firewall
