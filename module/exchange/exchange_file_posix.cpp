#include "exchange/exchange_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/posix/fd_io.h"
#include "platform/posix/replace_file.h"
#include "platform/posix/unique_fd.h"

std::optional<std::string> ReadExchangeFile(const char* name, std::size_t limit)
{
    // O_NONBLOCK lets the open of a FIFO return at once; it changes nothing for the
    // regular file that is all we read.
    const UniqueFd in(::open(name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat info {};
    if (!in || ::fstat(in.get(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
    return ReadAtMost(in.get(), limit);
}

void ReplaceExchangeFile(const char* name, const std::string& text) { ReplaceFile(".", name, text); }
