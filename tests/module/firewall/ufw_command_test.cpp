#include <gtest/gtest.h>

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
        {L"it's", "its"},                      // ufw refuses a single quote
        {L"say \"hi\"", "say hi"},             // would break ufw's listing of the rule
        {L"a\tb\nc\rd", "abcd"},
        {L"a\x7f\x85\x2028\x2029z", "az"},    // DEL, C1 control, line and paragraph separators
        {L"--rootdir=/tmp/x", "rootdir=/tmp/x"},  // ufw takes that as its own option anywhere
        {L"--dry-run", "dry-run"},
        {L" - x - ", "x -"},
        {L"in", ""},                           // ufw's parser looks for these words anywhere
        {L"out", ""},
        {L"log", ""},
        {L"log-all", ""},
        {L"'in'", ""},
        {L"In", "In"},
        {L"login", "login"},
        {L"comment", "comment"},
        {L"\x00dcn\x00ef \x20ac", "\xc3\x9cn\xc3\xaf \xe2\x82\xac"},
        {L"", ""},
        {L"\"'\n", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(CleanUfwName(c.name), c.clean);
}

TEST(UfwName, AllowCommandPassesTheNameAsOneArgument)
{
    EXPECT_EQ(UfwAllowCommand(8080, Protocol::Tcp, "HLMX 8080 TCP"),
              (std::vector<std::string>{"/usr/sbin/ufw", "allow", "8080/tcp", "comment", "HLMX 8080 TCP"}));
    EXPECT_EQ(UfwAllowCommand(53, Protocol::Udp, ""), (std::vector<std::string>{"/usr/sbin/ufw", "allow", "53/udp"}));
}

TEST(UfwName, EnvironmentFixesTheLanguage)
{
    const auto environment = UfwEnvironment();
    EXPECT_NE(std::find(environment.begin(), environment.end(), "LC_ALL=C"), environment.end());
}

ProcessOutcome Exited(int code, std::string output)
{
    ProcessOutcome outcome;
    outcome.end = ProcessOutcome::End::Exited;
    outcome.exitCode = code;
    outcome.output = std::move(output);
    return outcome;
}

TEST(UfwOutcome, WhatUfwAnswersMeans)
{
    ProcessOutcome timedOut;
    timedOut.end = ProcessOutcome::End::TimedOut;
    ProcessOutcome signaled;
    signaled.end = ProcessOutcome::End::Signaled;
    ProcessOutcome notStarted;
    notStarted.startError = ENOENT;
    struct Case {
        ProcessOutcome outcome;
        Status status;
    };
    const Case cases[] = {
        {Exited(0, "Rule added\nRule added (v6)\n"), Status::Ok},
        {Exited(0, "Skipping adding existing rule\nSkipping adding existing rule (v6)\n"), Status::Ok},
        {Exited(1, "ERROR: You need to be root to run this script\n"), Status::AccessDenied},
        {Exited(1, "ERROR: Invalid syntax\n"), Status::Failed},
        {Exited(1, ""), Status::Failed},
        {Exited(0, "ERROR: You need to be root to run this script\n"), Status::Ok},  // the exit status rules
        {timedOut, Status::TimedOut},
        {signaled, Status::Failed},
        {notStarted, Status::Failed},
    };
    for (const Case& c : cases) EXPECT_EQ(UfwOutcomeStatus(c.outcome, "test"), c.status) << c.outcome.output;
}

} // namespace
} // namespace firewall
