#include "loopback_server.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <stdexcept>

void LoopbackThread::Start(std::function<void()> serve)
{
    std::array<int, 2> ends{};
    if (pipe2(ends.data(), O_CLOEXEC) != 0) throw std::runtime_error("pipe2");
    stopRead_ = UniqueFd(ends[0]);
    stopWrite_ = UniqueFd(ends[1]);
    thread_ = std::thread(std::move(serve));
}

void LoopbackThread::Stop()
{
    if (!thread_.joinable()) return;
    const char wake = 1;
    (void)!write(stopWrite_.get(), &wake, 1);
    thread_.join();
}

namespace {

// 1: `fd` readable, 0: timed out, -1: stopped.
int Wait(int fd, int stopFd, int timeoutMs)
{
    std::array<pollfd, 2> fds{{{fd, POLLIN, 0}, {stopFd, POLLIN, 0}}};
    int ready;
    do ready = poll(fds.data(), fds.size(), timeoutMs);
    while (ready < 0 && errno == EINTR);
    if (ready < 0 || fds[1].revents != 0) return -1;
    return ready > 0 ? 1 : 0;
}

} // namespace

bool WaitReadable(int fd, int stopFd) { return Wait(fd, stopFd, -1) == 1; }

bool PauseUnlessStopped(int stopFd, int milliseconds) { return Wait(-1, stopFd, milliseconds) == 0; }
