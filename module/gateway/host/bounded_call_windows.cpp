#include "gateway/host/bounded_call.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

#include "gateway/gateway_log.h"
#include "platform/left_behind.h"

// Windows cannot fork, and nothing ends a thread safely: the call runs on a worker
// thread of its own, and one still running at its deadline is left behind. The caller
// goes on without its answer, and the process ends as soon as its result is written.
namespace gateway {
namespace {

struct Handover {
    std::mutex lock;
    std::condition_variable finished;
    bool done = false;
    std::optional<std::string> answer;
};

} // namespace

std::optional<std::string> RunBounded(const std::function<std::string()>& work, Deadline deadline)
{
    if (Clock::now() >= deadline) return std::nullopt;
    auto handover = std::make_shared<Handover>();
    try {
        // The worker keeps its own copy of the work and a share of the handover.
        std::thread([handover, work] {
            std::optional<std::string> answer;
            try {
                answer = work();
            } catch (...) {
            }
            const std::lock_guard<std::mutex> hold(handover->lock);
            handover->answer = std::move(answer);
            handover->done = true;
            handover->finished.notify_one();
        }).detach();
    } catch (const std::system_error&) {
        GatewayLog("cannot start a thread for a gateway call");
        return std::nullopt;
    }
    std::unique_lock<std::mutex> hold(handover->lock);
    if (!handover->finished.wait_until(hold, deadline, [&handover] { return handover->done; })) {
        NoteWorkLeftBehind();
        return std::nullopt;
    }
    if (!handover->answer) GatewayLog("a gateway call failed");
    return std::move(handover->answer);
}

} // namespace gateway
