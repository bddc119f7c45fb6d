// The names ufw is given and what its outcomes mean.
#include <gtest/gtest.h>

#include "fake_firewall.h"
#include "ufw_command.h"

namespace firewall {
namespace {

TEST(UfwName, NamesUfwCannotTakeAreCleaned)
{
    struct Case {
        std::wstring name;
        std::string clean;
    };
    const Case cases[] = {
        {L"HLMX 8080 TCP", "HLMX 8080 TCP"},
        {L"it's", "its"},                         // ufw refuses a single quote
        {L"say \"hi\"", "say hi"},                // would break ufw's listing of the rule
        {L"a\tb\nc\rd", "abcd"},
        {L"a\x7f\x85\x2028\x2029z", "az"},       // DEL, C1 control, line and paragraph separators
        {L"--rootdir=/tmp/x", "rootdir=/tmp/x"},  // ufw takes that as its own option anywhere
        {L" - x - ", "x -"},
        // ufw's parser looks for these words anywhere on the line
        {L"in", ""}, {L"out", ""}, {L"log", ""}, {L"log-all", ""}, {L"'in'", ""},
        {L"In", "In"}, {L"login", "login"},
        {L"\x00dcn\x00ef \x20ac", "\xc3\x9cn\xc3\xaf \xe2\x82\xac"},
        {L"\"'\n", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(CleanUfwName(c.name), c.clean);
}

TEST(UfwOutcome, WhatUfwAnswersMeans)
{
    ProcessOutcome timedOut, signaled, notStarted;
    timedOut.end = ProcessOutcome::End::TimedOut;
    signaled.end = ProcessOutcome::End::Signaled;
    notStarted.startError = ENOENT;
    struct Case {
        ProcessOutcome outcome;
        Status status;
    };
    const Case cases[] = {
        {Exited(0, "Skipping adding existing rule\nSkipping adding existing rule (v6)\n"), Status::Ok},
        {Exited(1, "ERROR: You need to be root to run this script\n"), Status::AccessDenied},
        {Exited(1, "ERROR: Invalid syntax\n"), Status::Failed},
        {Exited(0, "ERROR: You need to be root to run this script\n"), Status::Ok},  // the exit status rules
        {timedOut, Status::TimedOut},
        {signaled, Status::Failed},
        {notStarted, Status::Failed},
    };
    for (const Case& c : cases) EXPECT_EQ(UfwOutcomeStatus(c.outcome, "test"), c.status) << c.outcome.output;
}

} // namespace
} // namespace firewall
