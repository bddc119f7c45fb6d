#include "firewall/linux/process_runner.h"

#include "platform/posix/bounded_child.h"
#include "platform/posix/unique_fd.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <thread>

namespace firewall {
namespace {

std::vector<char*> PointerList(const std::vector<std::string>& texts)
{
    std::vector<char*> pointers;
    pointers.reserve(texts.size() + 1);
    for (const std::string& text : texts) pointers.push_back(const_cast<char*>(text.c_str()));
    pointers.push_back(nullptr);
    return pointers;
}

// In the child: standard input from /dev/null, standard output and error into
// `output`, a session of its own (so no controlling terminal, which pkexec would ask
// a password on, and a process group of its own), default signal handling and an
// empty signal mask, then the program. Why it could not start goes back through
// `failure`.
[[noreturn]] void StartProgram(char* const* arguments, char* const* variables, int output, int failure)
{
    const int input = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    bool ready = input >= 0 && ::dup2(input, STDIN_FILENO) >= 0 && ::dup2(output, STDOUT_FILENO) >= 0 &&
                 ::dup2(output, STDERR_FILENO) >= 0 && ::setsid() >= 0;
    for (int signal = 1; ready && signal < NSIG; ++signal)
        if (signal != SIGKILL && signal != SIGSTOP) ::signal(signal, SIG_DFL);
    sigset_t none;
    sigemptyset(&none);
    if (ready) ready = ::sigprocmask(SIG_SETMASK, &none, nullptr) == 0;
    if (ready) ::execve(arguments[0], arguments, variables);
    const int error = errno;
    (void)!::write(failure, &error, sizeof error);
    ::_exit(127);
}

// The errno the child sent before it gave up, or 0 once its program runs.
int StartError(int failure)
{
    int error = 0;
    ssize_t got;
    while ((got = ::read(failure, &error, sizeof error)) < 0 && errno == EINTR) {
    }
    return got == static_cast<ssize_t>(sizeof error) ? error : 0;
}

// Reads until end of file or the deadline; false when the deadline came first. What goes
// past kMaxOutput is read and dropped, so the program is never held up writing it.
bool CollectOutput(int fd, Deadline deadline, std::string& output, bool& cut)
{
    std::vector<char> buffer(64 * 1024);
    for (;;) {
        pollfd waiting{fd, POLLIN, 0};
        const int ready = ::poll(&waiting, 1, MillisecondsLeft(deadline));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) return false;
        const ssize_t got = ::read(fd, buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return true;
        const std::size_t room = kMaxOutput - output.size();
        cut = cut || static_cast<std::size_t>(got) > room;
        output.append(buffer.data(), std::min(static_cast<std::size_t>(got), room));
    }
}

// A wait status that reads as neither a normal exit nor a signal.
constexpr int kLostStatus = -1;

// Waits for the child until the deadline; false when it is still running then. Its
// output closed, it is usually gone within a fraction of a millisecond: the first looks
// come soon, the later ones every 5 ms.
bool AwaitExit(pid_t pid, Deadline deadline, int& status)
{
    std::chrono::microseconds pause{100};
    for (;;) {
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid) return true;
        if (done < 0 && errno != EINTR) {
            status = kLostStatus;
            return true;
        }
        if (Clock::now() >= deadline) return false;
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, std::chrono::microseconds(std::chrono::milliseconds(5)));
    }
}

bool MakePipe(UniqueFd& readEnd, UniqueFd& writeEnd)
{
    std::array<int, 2> ends{};
    if (::pipe2(ends.data(), O_CLOEXEC) != 0) return false;
    readEnd = UniqueFd(ends[0]);
    writeEnd = UniqueFd(ends[1]);
    return true;
}

void Reap(pid_t pid, int& status)
{
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
}

} // namespace

ProcessOutcome RunProcess(const std::vector<std::string>& argv, const std::vector<std::string>& environment,
                          Deadline deadline)
{
    ProcessOutcome outcome;
    if (argv.empty()) {
        outcome.startError = EINVAL;
        return outcome;
    }
    UniqueFd readEnd, writeEnd, failureRead, failureWrite;
    if (!MakePipe(readEnd, writeEnd) || !MakePipe(failureRead, failureWrite)) {
        outcome.startError = errno;
        return outcome;
    }
    const std::vector<char*> arguments = PointerList(argv);
    const std::vector<char*> variables = PointerList(environment);
    const pid_t pid = ForkBoundedChild(deadline);
    if (pid < 0) {
        outcome.startError = errno;
        return outcome;
    }
    if (pid == 0) StartProgram(arguments.data(), variables.data(), writeEnd.get(), failureWrite.get());
    writeEnd.reset();
    failureWrite.reset();

    int status = 0;
    // Once this returns, the child has made its session and group, or has gone: only
    // then is the group signalled.
    if ((outcome.startError = StartError(failureRead.get())) != 0) {
        Reap(pid, status);
        return outcome;
    }
    const bool finished =
        CollectOutput(readEnd.get(), deadline, outcome.output, outcome.cut) && AwaitExit(pid, deadline, status);
    // Whatever the program left in its group goes with it.
    ::kill(-pid, SIGKILL);
    if (!finished) {
        Reap(pid, status);
        outcome.end = ProcessOutcome::End::TimedOut;
    } else if (WIFSIGNALED(status) && WTERMSIG(status) == SIGALRM) {
        outcome.end = ProcessOutcome::End::TimedOut;  // its own timer: the deadline came first
    } else if (WIFEXITED(status)) {
        outcome.end = ProcessOutcome::End::Exited;
        outcome.exitCode = WEXITSTATUS(status);
    } else {
        outcome.end = ProcessOutcome::End::Signaled;  // or its status was lost: no success either way
    }
    return outcome;
}

} // namespace firewall
