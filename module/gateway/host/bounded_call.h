// Runs a blocking library call under a deadline. libminiupnpc cannot be cancelled and
// restarts its own timeouts for every read, so a gateway that trickles its answer can
// hold it for as long as it likes, and reads a body of any size into memory. On POSIX
// the call therefore runs in a child process that may grow by 64 MB and ends at the
// deadline, or with its caller; on Windows, on a worker thread that is left behind at
// the deadline (platform/left_behind.h). `work` must own what it uses: it may outlive
// the caller's frame.
#pragma once

#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <type_traits>

#include "platform/deadline.h"

namespace gateway {

// The bytes `work` returned in the child, or nothing when the child did not finish by
// `deadline` (or could not be started; none is once `deadline` has passed).
std::optional<std::string> RunBounded(const std::function<std::string()>& work, Deadline deadline);

// The same for a plain struct, copied back byte for byte.
template <class Answer>
std::optional<Answer> RunBoundedFor(const std::function<Answer()>& work, Deadline deadline)
{
    static_assert(std::is_trivially_copyable_v<Answer>, "the answer crosses a pipe as bytes");
    const auto bytes = RunBounded(
        [work] {
            const Answer answer = work();
            return std::string(reinterpret_cast<const char*>(&answer), sizeof answer);
        },
        deadline);
    if (!bytes || bytes->size() != sizeof(Answer)) return std::nullopt;
    Answer answer;
    std::memcpy(&answer, bytes->data(), sizeof answer);
    return answer;
}

} // namespace gateway
