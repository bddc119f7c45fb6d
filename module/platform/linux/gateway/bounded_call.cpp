#include "bounded_call.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>

#include "gateway_log.h"
#include "unique_fd.h"

namespace gateway {
namespace {

[[noreturn]] void RunChild(const std::function<std::string()>& work, UniqueFd output)
{
    const std::string answer = work();
    std::size_t written = 0;
    while (written < answer.size()) {
        const ssize_t step = write(output.get(), answer.data() + written, answer.size() - written);
        if (step < 0 && errno == EINTR) continue;
        if (step <= 0) _exit(1);
        written += static_cast<std::size_t>(step);
    }
    // _exit: the parent's buffered output and exit handlers stay the parent's.
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

bool ExitedCleanly(pid_t child)
{
    int status = 0;
    while (waitpid(child, &status, 0) < 0)
        if (errno != EINTR) return false;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace

std::optional<std::string> RunBounded(const std::function<std::string()>& work, Deadline deadline)
{
    std::array<int, 2> ends{};
    if (pipe2(ends.data(), O_CLOEXEC) != 0) {
        GatewayLog("cannot make a pipe for a gateway call");
        return std::nullopt;
    }
    UniqueFd input(ends[0]), output(ends[1]);
    const pid_t child = fork();
    if (child < 0) {
        GatewayLog("cannot start a process for a gateway call");
        return std::nullopt;
    }
    if (child == 0) {
        input.reset();
        RunChild(work, std::move(output));
    }
    output.reset();
    std::string answer;
    if (!ReadUntilClosed(input.get(), answer, deadline)) {
        kill(child, SIGKILL);
        ExitedCleanly(child);
        return std::nullopt;
    }
    if (!ExitedCleanly(child)) return std::nullopt;
    return answer;
}

} // namespace gateway
