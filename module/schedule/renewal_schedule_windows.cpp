// The user's scheduled task runs KavroBackground.exe, which starts this program without
// a console window, in %LOCALAPPDATA%\Varneth\renew, whose command file says "renew".
// It is registered while anything is recorded and removed when nothing is.
#include "schedule/renewal_schedule.h"

#include "platform/com/com_api.h"
#include "platform/replace_file_windows.h"
#include "platform/state_folder.h"
#include "schedule/program_folder_windows.h"
#include "schedule/renewal_task_windows.h"
#include "schedule/sentences.h"
#include "text_lines.h"

namespace {

void StopRenewing()
{
    const TaskStatus deleted = DeleteRenewalTask();
    if (SUCCEEDED(deleted.status)) return;
    StatusLine(std::string("RenewalScheduleFollows ") + deleted.step + " failed", deleted.status);
    Headline(schedule::sentence::TaskStays, {{"task", NarrowToBytes(RenewalTaskName())}});
}

} // namespace

void RenewalScheduleFollows(bool anythingRecorded)
{
    if (!anythingRecorded) {
        StopRenewing();
        return;
    }
    const std::wstring launcher = ProgramFolder() + L"KavroBackground.exe";
    if (GetFileAttributesW(launcher.c_str()) == INVALID_FILE_ATTRIBUTES) {
        Headline(schedule::sentence::LauncherMissing);
        return;
    }
    const auto folder = StateFolder("renew");
    if (!folder || !ReplaceStateFile(*folder, "kavro.cmd", "renew\r\n")) {
        Headline(schedule::sentence::AppDataNotSetUp);
        return;
    }
    const TaskStatus registered = EnsureRenewalTask(launcher, WideFromUtf8(*folder));
    if (FAILED(registered.status)) {
        StatusLine(std::string("RenewalScheduleFollows ") + registered.step + " failed", registered.status);
        Headline(schedule::sentence::TaskNotTaken);
    }
}
