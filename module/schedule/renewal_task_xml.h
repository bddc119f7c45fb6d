// The renewal task's definition in Task Scheduler's XML: at the user's logon, 30 s
// after the machine resumes, and every 5 minutes from `start`; `program` started in
// `folder` with the user's own rights and no more. Windows' scheduler reads it; it is
// built apart from the COM calls so it can be checked anywhere.
#pragma once

#include <string>

// `user` is "DOMAIN\name"; `start` the scheduler's local time, "2026-12-07T10:55:00".
std::wstring RenewalTaskXml(const std::wstring& program, const std::wstring& folder, const std::wstring& user,
                            const std::wstring& start);

// Whether a task's XML, as the scheduler gives it back, starts `program` in `folder`.
bool RenewalTaskXmlRuns(const std::wstring& xml, const std::wstring& program, const std::wstring& folder);
