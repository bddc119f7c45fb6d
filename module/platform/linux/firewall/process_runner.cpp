#include "process_runner.h"

#include "platform/posix/unique_fd.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <thread>
#include <utility>

namespace firewall {
namespace {

using Clock = std::chrono::steady_clock;

class SpawnSetup {
public:
    SpawnSetup()
    {
        posix_spawn_file_actions_init(&actions_);
        posix_spawnattr_init(&attributes_);
    }
    ~SpawnSetup()
    {
        posix_spawn_file_actions_destroy(&actions_);
        posix_spawnattr_destroy(&attributes_);
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;

    // Standard input from /dev/null, standard output and error into `outputFd`,
    // a process group of its own, default signal handling and an empty signal mask.
    int Prepare(int outputFd)
    {
        int error = posix_spawn_file_actions_addopen(&actions_, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
        if (error == 0) error = posix_spawn_file_actions_adddup2(&actions_, outputFd, STDOUT_FILENO);
        if (error == 0) error = posix_spawn_file_actions_adddup2(&actions_, outputFd, STDERR_FILENO);
        sigset_t all;
        sigset_t none;
        sigfillset(&all);
        sigemptyset(&none);
        if (error == 0) error = posix_spawnattr_setsigdefault(&attributes_, &all);
        if (error == 0) error = posix_spawnattr_setsigmask(&attributes_, &none);
        if (error == 0) error = posix_spawnattr_setpgroup(&attributes_, 0);
        if (error == 0)
            error = posix_spawnattr_setflags(
                &attributes_, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
        return error;
    }

    const posix_spawn_file_actions_t* actions() const { return &actions_; }
    const posix_spawnattr_t* attributes() const { return &attributes_; }

private:
    posix_spawn_file_actions_t actions_;
    posix_spawnattr_t attributes_;
};

std::vector<char*> PointerList(const std::vector<std::string>& texts)
{
    std::vector<char*> pointers;
    pointers.reserve(texts.size() + 1);
    for (const std::string& text : texts) pointers.push_back(const_cast<char*>(text.c_str()));
    pointers.push_back(nullptr);
    return pointers;
}

int MillisecondsUntil(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left < 0 ? 0 : static_cast<int>(left);
}

// Reads until end of file or the deadline; false when the deadline came first.
bool CollectOutput(int fd, Clock::time_point deadline, std::string& output)
{
    char buffer[4096];
    for (;;) {
        pollfd waiting{fd, POLLIN, 0};
        const int ready = ::poll(&waiting, 1, MillisecondsUntil(deadline));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) return false;
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return true;
        const std::size_t room = kMaxOutput - output.size();
        output.append(buffer, static_cast<std::size_t>(got) < room ? static_cast<std::size_t>(got) : room);
    }
}

// A wait status that reads as neither a normal exit nor a signal.
constexpr int kLostStatus = -1;

// Waits for the child until the deadline; false when it is still running then.
bool AwaitExit(pid_t pid, Clock::time_point deadline, int& status)
{
    for (;;) {
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid) return true;
        if (done < 0 && errno != EINTR) {
            status = kLostStatus;
            return true;
        }
        if (Clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

void KillGroupAndReap(pid_t pid, int& status)
{
    ::kill(-pid, SIGKILL);
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
}

} // namespace

ProcessOutcome RunProcess(const std::vector<std::string>& argv, const std::vector<std::string>& environment,
                          std::chrono::milliseconds timeout)
{
    ProcessOutcome outcome;
    int ends[2];
    if (argv.empty()) {
        outcome.startError = EINVAL;
        return outcome;
    }
    if (::pipe2(ends, O_CLOEXEC) != 0) {
        outcome.startError = errno;
        return outcome;
    }
    UniqueFd readEnd(ends[0]);
    UniqueFd writeEnd(ends[1]);
    SpawnSetup setup;
    if ((outcome.startError = setup.Prepare(writeEnd.get())) != 0) return outcome;

    const std::vector<char*> arguments = PointerList(argv);
    const std::vector<char*> variables = PointerList(environment);
    const Clock::time_point deadline = Clock::now() + timeout;
    pid_t pid = -1;
    outcome.startError =
        posix_spawn(&pid, argv[0].c_str(), setup.actions(), setup.attributes(), arguments.data(), variables.data());
    if (outcome.startError != 0) return outcome;
    writeEnd.reset();

    int status = 0;
    const bool finished = CollectOutput(readEnd.get(), deadline, outcome.output) && AwaitExit(pid, deadline, status);
    if (!finished) {
        KillGroupAndReap(pid, status);
        outcome.end = ProcessOutcome::End::TimedOut;
    } else if (WIFEXITED(status)) {
        outcome.end = ProcessOutcome::End::Exited;
        outcome.exitCode = WEXITSTATUS(status);
    } else {
        outcome.end = ProcessOutcome::End::Signaled;  // or its status was lost: no success either way
    }
    return outcome;
}

} // namespace firewall
