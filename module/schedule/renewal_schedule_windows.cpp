// The user's scheduled task runs KavroBackground.exe, which starts this program without
// a console window, in %LOCALAPPDATA%\Varneth\renew, whose command file says "renew".
// It is registered while anything is recorded and removed when nothing is.
#include "schedule/renewal_schedule.h"

#include <windows.h>

#include "diagnostics.h"
#include "forward/forward_report.h"
#include "platform/replace_file_windows.h"
#include "platform/state_folder.h"
#include "schedule/program_folder_windows.h"
#include "schedule/renewal_task_windows.h"
#include "text_lines.h"

namespace {

void TellNotKeptOpen(const std::string& why, const std::string& next)
{
    Headline("Forwards made here will not be kept open: " + why + ". " + next);
}

void StopRenewing()
{
    const TaskStatus deleted = DeleteRenewalTask();
    if (SUCCEEDED(deleted.status)) return;
    StatusLine(std::string("RenewalScheduleFollows ") + deleted.step + " failed", deleted.status);
    Headline("The task that renews forwards stays in Task Scheduler, though nothing is left to renew. Remove \"" +
             NarrowToBytes(RenewalTaskName()) + "\" there.");
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
        TellNotKeptOpen("KavroBackground.exe is missing beside Kavro.exe", "Install both programs together, then forward again");
        return;
    }
    const auto folder = StateFolder("renew");
    if (!folder || !ReplaceStateFile(*folder, "kavro.cmd", "renew\r\n")) {
        TellNotKeptOpen("the folder Varneth\\renew in your local application data could not be set up",
                        "Make it a folder of your own, then forward again");
        return;
    }
    const TaskStatus registered = EnsureRenewalTask(launcher, WideFromUtf8(*folder));
    if (FAILED(registered.status)) {
        StatusLine(std::string("RenewalScheduleFollows ") + registered.step + " failed", registered.status);
        TellNotKeptOpen("Task Scheduler did not take the task that renews them",
                        "Make sure the Task Scheduler service runs, then forward again");
    }
}
