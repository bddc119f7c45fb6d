#include "firewall/linux/file_text.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace firewall {
namespace {

// user.rules of a machine with many rules stays far below this.
constexpr std::size_t kMaxFileBytes = 8 * 1024 * 1024;

} // namespace

int ReadFileText(const std::string& path, std::string& text)
{
    text.clear();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errno;
    char buffer[8192];
    int error = 0;
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) error = errno;
        if (got <= 0) break;
        text.append(buffer, static_cast<std::size_t>(got));
        if (text.size() > kMaxFileBytes) {
            error = EFBIG;
            break;
        }
    }
    ::close(fd);
    return error;
}

} // namespace firewall
