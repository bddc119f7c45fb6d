// The user's scheduled task that renews the recorded forwards: Task Scheduler 2.0,
// at logon, after resume and every 5 minutes, with the user's own rights.
#pragma once

#include <string>

#include "platform/com/com_api.h"

// The task's name in the scheduler's root folder, one per user.
std::wstring RenewalTaskName();

// The outcome of one call to the scheduler: its status and, on failure, which step.
struct TaskStatus {
    HRESULT status = S_OK;
    const char* step = "";
};

// Registers the task that starts `program` in `folder`, unless it is there already:
// it is not rewritten on every renewal, and what the user changed in it stands.
TaskStatus EnsureRenewalTask(const std::wstring& program, const std::wstring& folder);

// Removes the task; a task that is not there counts as removed.
TaskStatus DeleteRenewalTask();
