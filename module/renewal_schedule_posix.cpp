// The user's systemd timer (installed by the package) runs the module every few
// minutes in $XDG_STATE_HOME/varneth/renew, and only while that folder holds a command
// file; so here the command file is put in place or taken away.
#include "renewal_schedule.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "diagnostics.h"
#include "platform/posix/fd_io.h"
#include "platform/posix/unique_fd.h"

namespace {

constexpr const char* kCommandFile = "kavro.cmd";
constexpr const char* kRenewCommand = "renew\n";

// $XDG_STATE_HOME when it is an absolute path, else ~/.local/state.
std::string StateHome()
{
    const char* state = std::getenv("XDG_STATE_HOME");
    if (state != nullptr && state[0] == '/') return state;
    const char* home = std::getenv("HOME");
    return std::string(home != nullptr ? home : "") + "/.local/state";
}

enum class Missing { Make, Skip };

// A folder of the user's own under `parent`, entered never through a link.
UniqueFd EnterOwnFolder(int parent, const char* name, Missing missing)
{
    if (parent < 0) return UniqueFd();
    if (missing == Missing::Make && ::mkdirat(parent, name, 0700) != 0 && errno != EEXIST) return UniqueFd();
    UniqueFd folder(::openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat info {};
    if (folder && (::fstat(folder.get(), &info) != 0 || info.st_uid != ::getuid())) {
        errno = EPERM;
        return UniqueFd();
    }
    return folder;
}

bool HoldsRenewCommand(int folder)
{
    const UniqueFd in(::openat(folder, kCommandFile, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat info {};
    if (!in || ::fstat(in.get(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
    return ReadAtMost(in.get(), 64) == std::string(kRenewCommand);
}

// A new file renamed into place: whatever held the name before is replaced, not written through.
bool WriteRenewCommand(int folder)
{
    const std::string created = std::string(".") + kCommandFile + "." + std::to_string(::getpid());
    ::unlinkat(folder, created.c_str(), 0);
    UniqueFd out(::openat(folder, created.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!out) return false;
    const bool written = WriteAll(out.get(), kRenewCommand);
    out.reset();
    if (written && ::renameat(folder, created.c_str(), folder, kCommandFile) == 0) return true;
    const int error = errno;
    ::unlinkat(folder, created.c_str(), 0);
    errno = error;
    return false;
}

void TellNotKeptOpen(const std::string& renewFolder)
{
    const std::string reason = std::strerror(errno);
    DiagnosticLine("RenewalScheduleFollows " + renewFolder + ": " + reason);
    Headline("Forwards made here will not be kept open: " + renewFolder + " could not be set up (" + reason +
             "). Make it a folder of your own, then forward again.");
}

} // namespace

void RenewalScheduleFollows(bool anythingRecorded)
{
    const std::string stateHome = StateHome();
    const std::string renewFolder = stateHome + "/varneth/renew";
    const UniqueFd state(::open(stateHome.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!anythingRecorded) {
        // Without its command file the timer's run is skipped; a missing folder is fine.
        const UniqueFd varneth = EnterOwnFolder(state.get(), "varneth", Missing::Skip);
        const UniqueFd renew = EnterOwnFolder(varneth.get(), "renew", Missing::Skip);
        if (renew && ::unlinkat(renew.get(), kCommandFile, 0) != 0 && errno != ENOENT)
            DiagnosticLine("RenewalScheduleFollows could not remove " + renewFolder + "/" + kCommandFile + ": " +
                           std::strerror(errno));
        return;
    }
    const UniqueFd varneth = EnterOwnFolder(state.get(), "varneth", Missing::Make);
    const UniqueFd renew = EnterOwnFolder(varneth.get(), "renew", Missing::Make);
    if (!renew || !(HoldsRenewCommand(renew.get()) || WriteRenewCommand(renew.get()))) TellNotKeptOpen(renewFolder);
}
