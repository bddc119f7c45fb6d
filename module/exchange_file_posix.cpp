#include "exchange_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/posix/fd_io.h"
#include "platform/posix/unique_fd.h"

namespace {

// A name of our own beside the target: the rename then stays within one file system.
UniqueFd CreateNewFileBeside(const std::string& name, std::string& created)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        created = "." + name + "." + std::to_string(::getpid()) + "." + std::to_string(attempt);
        UniqueFd fd(::open(created.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
        if (fd || errno != EEXIST) return fd;
    }
    return UniqueFd();
}

} // namespace

std::optional<std::string> ReadExchangeFile(const char* name, std::size_t limit)
{
    // O_NONBLOCK lets the open of a FIFO return at once; it changes nothing for the
    // regular file that is all we read.
    const UniqueFd in(::open(name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat info {};
    if (!in || ::fstat(in.get(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
    return ReadAtMost(in.get(), limit);
}

void ReplaceExchangeFile(const char* name, const std::string& text)
{
    std::string created;
    UniqueFd out = CreateNewFileBeside(name, created);
    if (!out) return;
    const bool written = WriteAll(out.get(), text);
    out.reset();
    if (!written || ::rename(created.c_str(), name) != 0) ::unlink(created.c_str());
}
