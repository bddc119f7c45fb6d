// ufw driven through a stand-in for its command, on rules and configuration files
// written here.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "ufw_manager.h"

namespace firewall {
namespace {

using std::chrono::milliseconds;

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

    UfwManager Manager(milliseconds budget = milliseconds(4000))
    {
        return UfwManager(files_, [this](const std::vector<std::string>& argv, const std::vector<std::string>& environment,
                                         milliseconds timeout) {
            commands.push_back(argv);
            environments.push_back(environment);
            timeouts.push_back(timeout);
            std::this_thread::sleep_for(delay);
            return answer;
        }, TimeBudget(budget));
    }

    static ProcessOutcome Exit(int code, const std::string& output)
    {
        ProcessOutcome outcome;
        outcome.end = ProcessOutcome::End::Exited;
        outcome.exitCode = code;
        outcome.output = output;
        return outcome;
    }

    std::filesystem::path directory_;
    UfwFiles files_;
    ProcessOutcome answer = Exit(0, "Status: active\n");
    milliseconds delay{0};
    std::vector<std::vector<std::string>> commands;
    std::vector<std::vector<std::string>> environments;
    std::vector<milliseconds> timeouts;
};

TEST_F(UfwManagerTest, SwitchedOffUfwIsAProfileWithTheFirewallOffAndAsksNothing)
{
    Write(files_.config, "ENABLED=no\n");
    answer = Exit(1, "ERROR: You need to be root to run this script\n");
    auto manager = Manager();
    EXPECT_EQ(manager.OpenProfile(), Status::Ok);
    EXPECT_FALSE(manager.Enabled());
    EXPECT_TRUE(commands.empty());
}

TEST_F(UfwManagerTest, MissingConfigurationMeansOff)
{
    auto manager = Manager();
    EXPECT_EQ(manager.OpenProfile(), Status::Ok);
    EXPECT_FALSE(manager.Enabled());
}

TEST_F(UfwManagerTest, SwitchedOnUfwIsAskedWhetherWeMayChangeIt)
{
    Write(files_.config, "ENABLED=yes\n");
    auto manager = Manager();
    EXPECT_EQ(manager.OpenProfile(), Status::Ok);
    EXPECT_TRUE(manager.Enabled());
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_EQ(commands[0], (std::vector<std::string>{"/usr/sbin/ufw", "status"}));
    EXPECT_EQ(environments[0][0], "LC_ALL=C");
}

TEST_F(UfwManagerTest, RefusalForLackOfRightsDeniesTheProfile)
{
    Write(files_.config, "ENABLED=yes\n");
    answer = Exit(1, "ERROR: You need to be root to run this script\n");
    auto manager = Manager();
    EXPECT_EQ(manager.OpenProfile(), Status::AccessDenied);
}

TEST_F(UfwManagerTest, UnreadableConfigurationFails)
{
    std::filesystem::create_directory(files_.config);  // EISDIR on read
    auto manager = Manager();
    EXPECT_EQ(manager.OpenProfile(), Status::Failed);
}

TEST_F(UfwManagerTest, OpenPortsComeFromTheRulesFile)
{
    Write(files_.rules, "### tuple ### allow udp 5000:5010 0.0.0.0/0 any 0.0.0.0/0 in comment=6e616d65\n");
    auto manager = Manager();
    std::string name;
    EXPECT_EQ(manager.FindOpenPort(5005, Protocol::Udp, name), Status::Ok);
    EXPECT_EQ(name, "name");
    EXPECT_EQ(manager.FindOpenPort(5005, Protocol::Tcp, name), Status::NotFound);
    EXPECT_TRUE(commands.empty());
}

TEST_F(UfwManagerTest, NoRulesFileMeansNothingOpen)
{
    auto manager = Manager();
    std::string name;
    EXPECT_EQ(manager.FindOpenPort(5005, Protocol::Udp, name), Status::NotFound);
}

TEST_F(UfwManagerTest, OpeningRunsUfwAllowWithTheCleanName)
{
    answer = Exit(0, "Rule added\nRule added (v6)\n");
    auto manager = Manager();
    EXPECT_EQ(manager.OpenPort(8080, Protocol::Tcp, L"HLMX's 8080\tTCP"), Status::Ok);
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_EQ(commands[0], (std::vector<std::string>{"/usr/sbin/ufw", "allow", "8080/tcp", "comment", "HLMXs 8080TCP"}));
}

TEST_F(UfwManagerTest, FailedAllowIsAFailure)
{
    answer = Exit(1, "ERROR: Couldn't update rules file\n");
    auto manager = Manager();
    EXPECT_EQ(manager.OpenPort(8080, Protocol::Udp, L"x"), Status::Failed);
    answer = Exit(1, "ERROR: You need to be root to run this script\n");
    EXPECT_EQ(manager.OpenPort(8080, Protocol::Udp, L"x"), Status::AccessDenied);
}

TEST_F(UfwManagerTest, EveryRunGetsOnlyWhatIsLeftOfTheBudget)
{
    Write(files_.config, "ENABLED=yes\n");
    auto manager = Manager(milliseconds(0));
    EXPECT_EQ(manager.OpenProfile(), Status::TimedOut);
    EXPECT_EQ(manager.OpenPort(8080, Protocol::Udp, L"x"), Status::TimedOut);
    EXPECT_TRUE(commands.empty());

    delay = milliseconds(200);
    auto roomy = Manager(milliseconds(3000));
    EXPECT_EQ(roomy.OpenPort(8080, Protocol::Udp, L"x"), Status::Ok);
    EXPECT_EQ(roomy.OpenPort(8080, Protocol::Tcp, L"x"), Status::Ok);
    ASSERT_EQ(timeouts.size(), 2u);
    EXPECT_EQ(timeouts[0], milliseconds(3000));
    EXPECT_LE(timeouts[1], milliseconds(2800)) << "the first run's time is taken off";
    EXPECT_GT(timeouts[1], milliseconds(2000));
}

} // namespace
} // namespace firewall
