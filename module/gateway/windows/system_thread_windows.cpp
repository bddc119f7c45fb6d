#include "gateway/windows/system_thread_windows.h"

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/deadline.h"
#include "platform/left_behind.h"

namespace gateway {
namespace {

// Microsoft advises waiting about 3 s for the service's discovery; our client needs the rest.
constexpr std::chrono::milliseconds kSystemShare{4000};

Deadline SystemDeadline() { return RunDeadline() - kRunTime + kSystemShare; }

class Thread final : public SystemCalls {
public:
    Thread()
    {
        std::thread([this] {
            CoInitializeEx(nullptr, COINIT_MULTITHREADED);
            while (true) {
                std::unique_lock<std::mutex> hold(lock_);
                waiting_.wait(hold, [this] { return !queue_.empty(); });
                const std::function<void()> work = std::move(queue_.front());
                queue_.pop_front();
                hold.unlock();
                work();
            }
        }).detach();
    }

    HRESULT Call(std::function<HRESULT()> work) override
    {
        auto handover = std::make_shared<Handover>();
        Post([work = std::move(work), handover] {
            const HRESULT status = work();
            const std::lock_guard<std::mutex> hold(handover->lock);
            handover->status = status;
            handover->done = true;
            handover->finished.notify_one();
        });
        std::unique_lock<std::mutex> hold(handover->lock);
        if (!handover->finished.wait_until(hold, SystemDeadline(), [&handover] { return handover->done; })) {
            NoteWorkLeftBehind();
            return kSystemTimedOut;
        }
        return handover->status;
    }

    void Post(std::function<void()> work) override
    {
        const std::lock_guard<std::mutex> hold(lock_);
        queue_.push_back(std::move(work));
        waiting_.notify_one();
    }

private:
    struct Handover {
        std::mutex lock;
        std::condition_variable finished;
        bool done = false;
        HRESULT status = E_FAIL;
    };

    std::mutex lock_;
    std::condition_variable waiting_;
    std::deque<std::function<void()>> queue_;
};

} // namespace

SystemCalls& SystemThread()
{
    // Never destroyed: a call left behind may still be using it when the process ends.
    static Thread* const thread = new Thread();
    return *thread;
}

} // namespace gateway
