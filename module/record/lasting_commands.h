// The command words that work on the record of forwards: "renew", "list" and "close".
// Each writes its result file once: renew and close "0" or the first reason; list one
// line per mapping this machine holds (none: an empty file), or one reason line. close
// takes groups of four lines, or "all" for everything the record holds; "all" follows
// its reason with a line for each mapping and firewall entry the record still holds.
// renew keeps the schedule following the record even when no router answers.
#pragma once

#include <string>
#include <vector>

#include "record/forward_record_store.h"

void RunRenewCommand(const std::vector<std::wstring>& addresses);
void RunListCommand(const std::vector<std::wstring>& addresses);
void RunCloseCommand(const std::vector<std::wstring>& commandLines, const std::vector<std::wstring>& addresses);
