// A user other than root opens ufw through pkexec and the helper: what the helper
// takes, and what Kavro sends and makes of pkexec's answers.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "ufw_command.h"
#include "ufw_helper.h"
#include "ufw_manager.h"

namespace firewall {
namespace {

ProcessOutcome Exited(int code, std::string output)
{
    ProcessOutcome outcome;
    outcome.end = ProcessOutcome::End::Exited;
    outcome.exitCode = code;
    outcome.output = std::move(output);
    return outcome;
}

TEST(UfwHelper, TakesOnlyAPortAProtocolAndACleanName)
{
    using Arguments = std::vector<std::string>;
    const std::string longest(kMaxHelperNameBytes, 'n');
    const std::pair<Arguments, bool> cases[] = {
        {{"8080", "tcp", "HLMX 8080 TCP"}, true},
        {{"1", "udp"}, true},
        {{"65535", "tcp", longest}, true},
        {{"0", "tcp"}, false},
        {{"65536", "tcp"}, false},
        {{"080", "tcp"}, false},
        {{"+80", "tcp"}, false},
        {{"80; rm -rf /", "tcp"}, false},
        {{"80", "tcp/udp"}, false},
        {{"80", "TCP"}, false},
        {{"80", "tcp", longest + "n"}, false},
        {{"80", "tcp", "--dry-run"}, false},
        {{"80", "tcp", "it's"}, false},
        {{"80", "tcp", "in"}, false},
        {{"80", "tcp", "a\nb"}, false},
        {{"80", "tcp", "\xff"}, false},
        {{"80", "tcp", ""}, false},
        {{"80"}, false},
        {{"80", "tcp", "x", "y"}, false},
    };
    for (const auto& [arguments, taken] : cases)
        EXPECT_EQ(ReadHelperArguments(arguments).has_value(), taken) << ::testing::PrintToString(arguments);
    const auto request = ReadHelperArguments({"8080", "udp", "HLMX 8080 UDP"});
    ASSERT_TRUE(request);
    EXPECT_EQ(request->port, 8080);
    EXPECT_EQ(request->protocol, Protocol::Udp);
    EXPECT_EQ(request->name, L"HLMX 8080 UDP");
}

TEST(UfwThroughPkexec, PolkitIsAskedFirstThenPkexecRunsTheHelper)
{
    std::string pattern = (std::filesystem::temp_directory_path() / "kavro-ufw-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    const std::filesystem::path directory = pattern;
    const UfwFiles files{(directory / "ufw.conf").string(), (directory / "user.rules").string()};
    std::ofstream(files.config) << "ENABLED=yes\n";

    using Command = std::vector<std::string>;
    std::vector<Command> commands;
    std::vector<std::vector<std::string>> environments;
    ProcessOutcome answer;
    Status polkit = Status::AccessDenied;
    const auto manager = [&] {
        return UfwManager(files, [&](const Command& argv, const std::vector<std::string>& environment, Deadline) {
            commands.push_back(argv);
            environments.push_back(environment);
            return answer;
        }, Clock::now() + std::chrono::seconds(4), PkexecRoute{"/opt/kv/kavro-ufw-allow", [&polkit] { return polkit; }});
    };
    EXPECT_EQ(manager().OpenProfile(), Status::AccessDenied) << "polkit says no: no profile";
    polkit = Status::Ok;
    UfwManager ufw = manager();
    EXPECT_EQ(ufw.OpenProfile(), Status::Ok);
    EXPECT_TRUE(commands.empty()) << "ufw itself would only say we are not root";

    const std::pair<ProcessOutcome, Status> cases[] = {
        {Exited(0, "Rule added\n"), Status::Ok},
        {Exited(126, "Error executing command as another user: Not authorized\n"), Status::AccessDenied},
        {Exited(127, "Error executing command as another user: No authentication agent found.\n"), Status::AccessDenied},
        {Exited(1, "firewall: ufw allow: ERROR: Could not update running firewall\n"), Status::Failed},
    };
    for (const auto& [outcome, status] : cases) {
        answer = outcome;
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(ufw.OpenPort(8080, Protocol::Tcp, L"HLMX's 8080\tTCP"), status) << outcome.output;
        ::testing::internal::GetCapturedStderr();
    }
    const Command pkexec{"/usr/bin/pkexec", "/opt/kv/kavro-ufw-allow", "8080", "tcp", "HLMXs 8080TCP"};
    EXPECT_EQ(commands, std::vector<Command>(std::size(cases), pkexec));
    EXPECT_EQ(environments.back(), UfwEnvironment()) << "pkexec gets the fixed environment";
    std::filesystem::remove_all(directory);
}

} // namespace
} // namespace firewall
