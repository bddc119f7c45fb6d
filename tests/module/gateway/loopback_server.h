// A thread serving one loopback socket until the test ends; the base of the fake
// gateway pieces. Stopping wakes the thread through a pipe.
#pragma once

#include <functional>
#include <thread>

#include "platform/posix/unique_fd.h"

class LoopbackThread {
public:
    LoopbackThread() = default;
    ~LoopbackThread() { Stop(); }
    LoopbackThread(const LoopbackThread&) = delete;
    LoopbackThread& operator=(const LoopbackThread&) = delete;

    // Runs `serve` on its own thread; it polls `StopFd()` beside its own sockets.
    void Start(std::function<void()> serve);
    void Stop();
    int StopFd() const { return stopRead_.get(); }

private:
    UniqueFd stopRead_, stopWrite_;
    std::thread thread_;
};

// Waits until `fd` is readable; false when the test stops the thread first.
bool WaitReadable(int fd, int stopFd);
// Sleeps `milliseconds`; false when the test stops the thread first.
bool PauseUnlessStopped(int stopFd, int milliseconds);
