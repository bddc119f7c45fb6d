#include "gateway/host/bounded_call.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <fstream>

#include "tell.h"
#include "gateway/gateway_log.h"
#include "platform/posix/bounded_child.h"
#include "platform/posix/unique_fd.h"

namespace gateway {
namespace {

// A gateway's answer is a few kilobytes; one that never ends must not take the
// machine's memory before the deadline comes.
constexpr rlim_t kChildMemoryGrowth = 64 << 20;

void LimitMemoryGrowth()
{
    std::ifstream statm("/proc/self/statm");
    unsigned long pages = 0;
    if (!(statm >> pages)) return;
    const rlim_t limit = static_cast<rlim_t>(pages) * static_cast<rlim_t>(sysconf(_SC_PAGESIZE)) + kChildMemoryGrowth;
    const rlimit addressSpace{limit, limit};
    setrlimit(RLIMIT_AS, &addressSpace);
}

constexpr int kChildOutput = 3;

void WriteAll(int output, const std::string& answer)
{
    std::size_t written = 0;
    while (written < answer.size()) {
        const ssize_t step = write(output, answer.data() + written, answer.size() - written);
        if (step < 0 && errno == EINTR) continue;
        if (step <= 0) _exit(1);
        written += static_cast<std::size_t>(step);
    }
}

// Never returns: whatever happens, the child must not go on as a copy of the caller.
// _exit, too, keeps the caller's buffered output and exit handlers the caller's.
[[noreturn]] void RunChild(const std::function<std::string()>& work, int output)
{
    // The caller's other threads may have pipes open (another gateway call, a firewall
    // program starting): a copy of them here would keep their readers waiting for this
    // child to end. Only the standard streams and this child's own pipe stay.
    if (::dup2(output, kChildOutput) < 0) _exit(1);
    ::close_range(kChildOutput + 1, ~0U, 0);
    output = kChildOutput;
    // The library's own error lines ("connect: Connection refused") are for nobody: the
    // caller tells what failed, in words of its own.
    const int nowhere = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (nowhere >= 0) {
        ::dup2(nowhere, STDERR_FILENO);
        ::close(nowhere);
    }
    try {
        LimitMemoryGrowth();
        WriteAll(output, work());
    } catch (...) {
        _exit(1);
    }
    _exit(0);
}

// Reads the child's answer until it closes the pipe; false when the deadline came first.
bool ReadUntilClosed(int input, std::string& answer, Deadline deadline)
{
    std::array<char, 4096> chunk;
    while (true) {
        pollfd ready{input, POLLIN, 0};
        const int wait = MillisecondsLeft(deadline);
        if (wait == 0) return false;
        const int events = poll(&ready, 1, wait);
        if (events < 0 && errno == EINTR) continue;
        if (events <= 0) return false;
        const ssize_t size = read(input, chunk.data(), chunk.size());
        if (size < 0 && errno == EINTR) continue;
        if (size < 0) return false;
        if (size == 0) return true;
        answer.append(chunk.data(), static_cast<std::size_t>(size));
    }
}

int Reap(pid_t child)
{
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return status;
}

bool EndedCleanly(int status)
{
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return true;
    // How the child ended is for developers; the caller tells the user what it means.
    DiagnosticLine(WIFSIGNALED(status) ? "a gateway call was ended by signal " + std::to_string(WTERMSIG(status))
                                       : "a gateway call failed with status " + std::to_string(WEXITSTATUS(status)));
    return false;
}

} // namespace

std::optional<std::string> RunBounded(const std::function<std::string()>& work, Deadline deadline)
{
    if (Clock::now() >= deadline) return std::nullopt;
    std::array<int, 2> ends{};
    if (pipe2(ends.data(), O_CLOEXEC) != 0) {
        GatewayLog("cannot make a pipe for a gateway call");
        return std::nullopt;
    }
    UniqueFd input(ends[0]), output(ends[1]);
    const pid_t child = ForkBoundedChild(deadline);
    if (child < 0) {
        GatewayLog("cannot start a process for a gateway call");
        return std::nullopt;
    }
    if (child == 0) RunChild(work, output.get());
    output.reset();
    std::string answer;
    if (!ReadUntilClosed(input.get(), answer, deadline)) {
        kill(child, SIGKILL);
        Reap(child);
        return std::nullopt;
    }
    if (!EndedCleanly(Reap(child))) return std::nullopt;
    return answer;
}

} // namespace gateway
