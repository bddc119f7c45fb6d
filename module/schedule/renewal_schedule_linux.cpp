// The package's systemd user timer runs the module every few minutes in
// $XDG_STATE_HOME/varneth/renew, and only while that folder holds its command file: so
// here the command file is put in place while anything is recorded and taken away
// when nothing is, and the timer's run is then skipped. Lingering follows it, so the
// timer runs without a login.
#include "schedule/renewal_schedule.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/posix/fd_io.h"
#include "platform/posix/replace_file.h"
#include "platform/posix/unique_fd.h"
#include "platform/state_folder.h"
#include "schedule/linger_linux.h"
#include "schedule/sentences.h"

namespace {

constexpr const char* kCommandFile = "kavro.cmd";
constexpr const char* kRenewCommand = "renew\n";

bool HoldsRenewCommand(const std::string& folder)
{
    const UniqueFd in(::open((folder + "/" + kCommandFile).c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!in) return false;
    const auto text = ReadAtMost(in.get(), 64);
    return text && *text == kRenewCommand;
}

} // namespace

void RenewalScheduleFollows(bool anythingRecorded)
{
    const auto folder = StateFolder("renew");
    if (!anythingRecorded) {
        if (folder && ::unlink((*folder + "/" + kCommandFile).c_str()) != 0 && errno != ENOENT)
            DiagnosticLine("RenewalScheduleFollows unlink " + *folder + "/" + kCommandFile + ": " + std::strerror(errno));
        StopLingeringWeStarted();
        return;
    }
    if (folder && HoldsRenewCommand(*folder)) return;
    // The record's first forward: the timer is to run without a login too.
    if (folder && ReplaceFile(*folder, kCommandFile, kRenewCommand)) return LingerWhileRecorded();
    Headline(schedule::sentence::FolderNotSetUp);
}
