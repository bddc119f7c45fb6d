#include "platform/state_folder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace {

// An absolute path from the environment, else nothing: XDG says to ignore a relative one.
std::optional<std::string> AbsoluteFrom(const char* variable)
{
    const char* value = std::getenv(variable);
    if (value == nullptr || value[0] != '/') return std::nullopt;
    return std::string(value);
}

// Makes `path` a folder if it is missing; a link or anything else there is refused.
bool MakeFolder(const std::string& path)
{
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return false;
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// Where the folder is: $XDG_STATE_HOME/varneth, else ~/.local/state/varneth.
std::optional<std::string> FolderPath()
{
    if (const auto state = AbsoluteFrom("XDG_STATE_HOME")) return *state + "/varneth";
    if (const auto home = AbsoluteFrom("HOME")) return *home + "/.local/state/varneth";
    return std::nullopt;
}

} // namespace

bool StateFolderMissing()
{
    const auto folder = FolderPath();
    struct stat info {};
    return folder && ::lstat(folder->c_str(), &info) != 0 && errno == ENOENT;
}

std::optional<std::string> StateFolder(const std::string& sub)
{
    std::string base;
    if (const auto state = AbsoluteFrom("XDG_STATE_HOME")) {
        base = *state;
    } else if (const auto home = AbsoluteFrom("HOME")) {
        base = *home + "/.local";
        if (!MakeFolder(base)) return std::nullopt;
        base += "/state";
    } else {
        return std::nullopt;
    }
    std::string folder = base + "/varneth";
    if (!MakeFolder(base) || !MakeFolder(folder)) return std::nullopt;
    if (sub.empty()) return folder;
    folder += "/" + sub;
    if (!MakeFolder(folder)) return std::nullopt;
    return folder;
}
