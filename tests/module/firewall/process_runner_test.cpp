// Real programs, run the way ufw is run.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "process_runner.h"

namespace firewall {
namespace {

using std::chrono::milliseconds;
using End = ProcessOutcome::End;

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

TEST(ProcessRunner, HowAProgramEndsAndWhatItWrites)
{
    const struct {
        std::vector<std::string> argv;
        End end;
        int exitCode;
        std::string output;
    } cases[] = {
        {{"/bin/echo", "it's", "$HOME", "a b", "*"}, End::Exited, 0, "it's $HOME a b *\n"}, // no shell in between
        {{"/usr/bin/env"}, End::Exited, 0, "LC_ALL=C\nPATH=/usr/bin:/bin\n"},               // exactly this environment
        {{"/bin/sh", "-c", "echo out; echo err >&2; exit 3"}, End::Exited, 3, "out\nerr\n"},
        {{"/bin/cat"}, End::Exited, 0, ""}, // standard input is empty
        {{"/bin/sh", "-c", "head -c 200000 /dev/zero | tr '\\0' x"}, End::Exited, 0, std::string(kMaxOutput, 'x')},
        {{"/bin/sh", "-c", "kill -TERM $$"}, End::Signaled, -1, ""},
        {{"/nonexistent/ufw", "status"}, End::NotStarted, -1, ""},
    };
    for (const auto& c : cases) {
        const auto outcome = RunProcess(c.argv, kEnvironment, Clock::now() + milliseconds(5000));
        EXPECT_EQ(outcome.end, c.end) << c.argv.back();
        EXPECT_EQ(outcome.exitCode, c.exitCode) << c.argv.back();
        EXPECT_EQ(outcome.output, c.output) << c.argv.back();
        EXPECT_EQ(outcome.startError, c.end == End::NotStarted ? ENOENT : 0) << c.argv.back();
    }
}

TEST(ProcessRunner, OverstayingChildAndItsChildrenAreEnded)
{
    const auto started = std::chrono::steady_clock::now();
    // The grandchild keeps the output pipe open after its parent is gone.
    const auto outcome = RunProcess({"/bin/sh", "-c", "sleep 30 & echo $!; wait"}, kEnvironment, Clock::now() + milliseconds(300));
    EXPECT_EQ(outcome.end, End::TimedOut);
    EXPECT_LT(std::chrono::steady_clock::now() - started, milliseconds(2000));
    const pid_t grandchild = std::stoi(outcome.output);
    ASSERT_GT(grandchild, 1);
    for (int i = 0; i < 200 && Running(grandchild); ++i) std::this_thread::sleep_for(milliseconds(10));
    EXPECT_FALSE(Running(grandchild)) << "killed with its process group";
}

TEST(ProcessRunner, TheProgramEndsWithItsCallerOrAtTheDeadline)
{
    const struct {
        const char* name;
        int signal;                   // sent to the caller once the program runs
        milliseconds deadline;        // from now
    } cases[] = {
        {"caller killed", SIGKILL, milliseconds(20000)},
        {"caller stopped past the deadline", SIGSTOP, milliseconds(300)},
    };
    for (const auto& c : cases) {
        char pattern[] = "/tmp/kavro-runner-XXXXXX";
        const int file = ::mkstemp(pattern);
        ASSERT_GE(file, 0);
        ::close(file);
        const pid_t caller = ::fork();
        if (caller == 0) {
            RunProcess({"/bin/sh", "-c", std::string("echo $$ >") + pattern + "; exec sleep 30"}, kEnvironment,
                       Clock::now() + c.deadline);
            ::_exit(0);
        }
        pid_t program = 0;
        for (int i = 0; i < 200 && program == 0; ++i) {
            std::this_thread::sleep_for(milliseconds(10));
            std::ifstream(pattern) >> program;
        }
        ::unlink(pattern);
        ASSERT_GT(program, 1) << c.name;
        ::kill(caller, c.signal);
        std::this_thread::sleep_for(milliseconds(1000));
        EXPECT_FALSE(Running(program)) << c.name;
        ::kill(caller, SIGKILL);
        ::waitpid(caller, nullptr, 0);
        ::kill(program, SIGKILL); // only when the check above failed
    }
}

} // namespace
} // namespace firewall
