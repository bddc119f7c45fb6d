// ufw driven through a stand-in for its command, on rules and configuration files
// written here.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <optional>

#include "fake_firewall.h"
#include "ufw_manager.h"

namespace firewall {
namespace {

using std::chrono::milliseconds;
using Command = std::vector<std::string>;

const ProcessOutcome kNotRoot = Exited(1, "ERROR: You need to be root to run this script\n");
// Still waiting for the lock another ufw holds when the time is up.
const ProcessOutcome kLockHeld{ProcessOutcome::End::TimedOut, -1, 0, ""};

class UfwManagerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "kavro-ufw-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        directory_ = pattern;
        files_.config = (directory_ / "ufw.conf").string();
        files_.rules = (directory_ / "user.rules").string();
    }
    void TearDown() override { std::filesystem::remove_all(directory_); }

    void Write(const std::string& path, const std::string& text) { std::ofstream(path) << text; }

    UfwManager Manager(Deadline deadline = Clock::now() + milliseconds(4000))
    {
        commands.clear();
        return UfwManager(files_, [this](const Command& argv, const std::vector<std::string>& environment,
                                         Deadline until) {
            commands.push_back(argv);
            environments.push_back(environment);
            deadlines.push_back(until);
            return answer;
        }, deadline);
    }

    std::filesystem::path directory_;
    UfwFiles files_;
    ProcessOutcome answer = Exited(0, "Status: active\n");
    std::vector<Command> commands;
    std::vector<std::vector<std::string>> environments;
    std::vector<Deadline> deadlines;
};

TEST_F(UfwManagerTest, OnlyASwitchedOnUfwIsAskedWhetherWeMayChangeIt)
{
    const struct {
        const char* name;
        std::optional<std::string> config; // none: no ufw.conf; "/": a directory there
        ProcessOutcome answer;
        Status status;
        bool enabled;
        std::vector<Command> commands;
    } cases[] = {
        {"switched off", "ENABLED=no\n", kNotRoot, Status::Ok, false, {}},
        {"never configured", std::nullopt, kNotRoot, Status::Ok, false, {}},
        {"switched on", "ENABLED=yes\n", Exited(0, "Status: active\n"), Status::Ok, true, {{"/usr/sbin/ufw", "status"}}},
        {"switched on, we are not root", "ENABLED=yes\n", kNotRoot, Status::AccessDenied, true, {{"/usr/sbin/ufw", "status"}}},
        // ufw refuses an ordinary user before it waits for its lock: opening the port is what fails.
        {"switched on, another ufw holds the lock", "ENABLED=yes\n", kLockHeld, Status::Ok, true, {{"/usr/sbin/ufw", "status"}}},
        {"unreadable", "/", kNotRoot, Status::Failed, false, {}},
    };
    for (const auto& c : cases) {
        std::filesystem::remove_all(files_.config);
        if (c.config == "/") std::filesystem::create_directory(files_.config); // EISDIR on read
        else if (c.config) Write(files_.config, *c.config);
        answer = c.answer;
        auto manager = Manager();
        EXPECT_EQ(manager.OpenProfile(), c.status) << c.name;
        EXPECT_EQ(manager.Enabled(), c.enabled) << c.name;
        EXPECT_EQ(commands, c.commands) << c.name;
    }
    ASSERT_FALSE(environments.empty());
    EXPECT_EQ(environments[0][0], "LC_ALL=C") << "ufw's messages in English";
}

TEST_F(UfwManagerTest, OpenPortsComeFromTheRulesFile)
{
    auto manager = Manager();
    std::string name;
    EXPECT_EQ(manager.FindOpenPort(5005, Protocol::Udp, name), Status::NotFound) << "no rules file";
    Write(files_.rules, "### tuple ### allow udp 5000:5010 0.0.0.0/0 any 0.0.0.0/0 in comment=6e616d65\n");
    EXPECT_EQ(manager.FindOpenPort(5005, Protocol::Udp, name), Status::Ok);
    EXPECT_EQ(name, "name");
    EXPECT_EQ(manager.FindOpenPort(5005, Protocol::Tcp, name), Status::NotFound);
    EXPECT_TRUE(commands.empty());
}

TEST_F(UfwManagerTest, AnAdministratorsDenyThatComesFirstStands)
{
    Write(files_.rules, "### tuple ### deny tcp 8080 0.0.0.0/0 any 0.0.0.0/0 in\n"
                        "### tuple ### allow tcp 8080 0.0.0.0/0 any 0.0.0.0/0 in\n");
    auto manager = Manager();
    std::string name;
    EXPECT_EQ(manager.FindOpenPort(8080, Protocol::Tcp, name), Status::NotFound) << "the allow is never reached";
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(manager.OpenPort(8080, Protocol::Tcp, L"HLMX 8080 TCP"), Status::Failed);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "firewall: ufw's rule \"deny 8080/tcp\" comes first and stands: 8080/tcp not opened\n");
    EXPECT_EQ(manager.OpenPort(8080, Protocol::Udp, L"HLMX 8080 UDP"), Status::Ok);
    EXPECT_EQ(commands, (std::vector<Command>{{"/usr/sbin/ufw", "allow", "8080/udp", "comment", "HLMX 8080 UDP"}}));
}

TEST_F(UfwManagerTest, OpeningRunsUfwAllowWithTheCleanName)
{
    auto manager = Manager();
    EXPECT_EQ(manager.OpenPort(8080, Protocol::Tcp, L"HLMX's 8080\tTCP"), Status::Ok);
    EXPECT_EQ(manager.OpenPort(53, Protocol::Udp, L"\"'"), Status::Ok); // nothing of the name is left
    EXPECT_EQ(commands, (std::vector<Command>{{"/usr/sbin/ufw", "allow", "8080/tcp", "comment", "HLMXs 8080TCP"},
                                              {"/usr/sbin/ufw", "allow", "53/udp"}}));
}

TEST_F(UfwManagerTest, EveryRunEndsByTheRunDeadline)
{
    const Deadline runEnd = Clock::now() + milliseconds(3000);
    auto manager = Manager(runEnd);
    EXPECT_EQ(manager.OpenPort(8080, Protocol::Udp, L"x"), Status::Ok);
    answer = kLockHeld;
    EXPECT_EQ(manager.OpenPort(8080, Protocol::Tcp, L"x"), Status::TimedOut);
    EXPECT_EQ(deadlines, (std::vector<Deadline>{runEnd, runEnd}));

    auto late = Manager(Clock::now());
    EXPECT_EQ(late.OpenPort(8080, Protocol::Udp, L"x"), Status::TimedOut);
    EXPECT_TRUE(commands.empty()) << "nothing is started once the time is up";
}

} // namespace
} // namespace firewall
