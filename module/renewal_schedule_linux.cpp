#include "renewal_schedule.h"

#include <fcntl.h>

#include "platform/posix/fd_io.h"
#include "platform/posix/replace_file.h"
#include "platform/posix/unique_fd.h"
#include "state_folder.h"

namespace {

constexpr const char* kRenewCommand = "renew\n";

bool HoldsRenewCommand(const std::string& folder)
{
    const UniqueFd in(::open((folder + "/kavro.cmd").c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!in) return false;
    const auto text = ReadAtMost(in.get(), 64);
    return text && *text == kRenewCommand;
}

} // namespace

// The package's user timer runs for every user; it only needs the command to run.
// With nothing recorded, `renew` finds nothing to do, so the folder is left as it is.
void RenewalScheduleFollows(bool anythingRecorded)
{
    if (!anythingRecorded) return;
    const auto folder = StateFolder("renew");
    if (folder && !HoldsRenewCommand(*folder)) ReplaceFile(*folder, "kavro.cmd", kRenewCommand);
}
