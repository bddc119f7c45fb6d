#include "replace_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "fd_io.h"
#include "unique_fd.h"

namespace {

// A name of our own beside the target: the rename then stays within one file system.
UniqueFd CreateNewFileBeside(int folder, const std::string& name, std::string& created)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        created = "." + name + "." + std::to_string(::getpid()) + "." + std::to_string(attempt);
        UniqueFd fd(::openat(folder, created.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
        if (fd || errno != EEXIST) return fd;
    }
    return UniqueFd();
}

} // namespace

bool ReplaceFile(const std::string& folder, const std::string& name, const std::string& text)
{
    const UniqueFd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!dir) return false;
    std::string created;
    UniqueFd out = CreateNewFileBeside(dir.get(), name, created);
    if (!out) return false;
    const bool written = WriteAll(out.get(), text);
    out.reset();
    if (written && ::renameat(dir.get(), created.c_str(), dir.get(), name.c_str()) == 0) return true;
    ::unlinkat(dir.get(), created.c_str(), 0);
    return false;
}
