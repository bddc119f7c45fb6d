#include "gateway/host/random.h"

#include <sys/random.h>

#include <cerrno>

namespace gateway::host {

bool FillRandom(std::uint8_t* bytes, std::size_t size)
{
    std::size_t filled = 0;
    while (filled < size) {
        const ssize_t got = getrandom(bytes + filled, size - filled, 0);
        if (got < 0 && errno != EINTR) return false;
        if (got > 0) filled += static_cast<std::size_t>(got);
    }
    return true;
}

} // namespace gateway::host
