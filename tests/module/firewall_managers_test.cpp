// How the firewall managers are asked together, and the system bus's connection
// bounded in time.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "firewall/linux/every_firewall.h"
#include "platform/closed_over_ipv6.h"
#include "firewall/linux/system_bus.h"
#include "platform/posix/unique_fd.h"

namespace firewall {
namespace {

// One firewall manager, scripted: on or off, the ports it lets in, what it answers.
struct FakeManager final : FirewallManager {
    bool on = true;
    Status profile = Status::Ok;
    Status opening = Status::Ok;
    std::string name;  // the name it keeps for a port
    std::vector<int> open;
    int opened = 0;
    std::string gap;  // what keeps a port closed over IPv6, when on

    Status OpenProfile() override { return profile; }
    bool Enabled() const override { return on; }
    Status FindOpenPort(int port, Protocol, std::string& kept) override
    {
        kept = name;
        return std::find(open.begin(), open.end(), port) != open.end() ? Status::Ok : Status::NotFound;
    }
    Status OpenPort(int port, Protocol, const std::wstring&) override
    {
        ++opened;
        if (opening == Status::Ok) open.push_back(port);
        return opening;
    }
    std::string Ipv6Gap(int, Protocol) override { return gap; }
    Status ClosePort(int port, Protocol) override
    {
        open.erase(std::remove(open.begin(), open.end(), port), open.end());
        return Status::Ok;
    }
};

struct Case {
    const char* name;
    FakeManager first, second, fallback;
    Status profile, found, opening;  // the answers of EveryFirewall
    bool enabled;
    int openedFirst, openedSecond, openedFallback;
};

FakeManager With(bool on, std::vector<int> open = {}, Status opening = Status::Ok, Status profile = Status::Ok)
{
    FakeManager manager;
    manager.on = on;
    manager.open = std::move(open);
    manager.opening = opening;
    manager.profile = profile;
    return manager;
}

TEST(EveryFirewall, LetsThePortInThroughEachThatIsOn)
{
    constexpr Status Ok = Status::Ok, NotFound = Status::NotFound, Failed = Status::Failed;
    const Case cases[] = {
        {"one has it already", With(true, {80}), With(true), With(true), Ok, NotFound, Ok, true, 0, 1, 0},
        {"both have it", With(true, {80}), With(true, {80}), With(true), Ok, Ok, Ok, true, 0, 0, 0},
        {"the first refuses, the second is still asked", With(true, {}, Failed), With(true), With(true), Ok, NotFound,
         Failed, true, 1, 1, 0},
        {"the second refuses", With(true), With(true, {}, Status::AccessDenied), With(true), Ok, NotFound,
         Status::AccessDenied, true, 1, 1, 0},
        {"one off: only the other", With(false), With(true), With(true), Ok, NotFound, Ok, true, 0, 1, 0},
        {"none on: the fallback", With(false), With(false), With(true, {}, Failed), Ok, NotFound, Failed, true, 0, 0, 1},
        {"none on, nor the fallback", With(false), With(false), With(false), Ok, NotFound, Ok, false, 0, 0, 0},
        {"a profile not had", With(true, {}, Ok, Status::TimedOut), With(true), With(true), Status::TimedOut, NotFound,
         Ok, false, 0, 0, 0},
    };
    for (const Case& each : cases) {
        auto first = std::make_unique<FakeManager>(each.first);
        auto second = std::make_unique<FakeManager>(each.second);
        second->name = "HLMX 80 TCP";  // the first keeps none
        auto fallback = std::make_unique<FakeManager>(each.fallback);
        FakeManager* seen[] = {first.get(), second.get(), fallback.get()};
        std::vector<NamedManager> managers;
        managers.push_back({"first", std::move(first)});
        managers.push_back({"second", std::move(second)});
        EveryFirewall every(std::move(managers), [&fallback] { return NamedManager{"fallback", std::move(fallback)}; });

        std::string name;
        ASSERT_EQ(every.OpenProfile(), each.profile) << each.name;
        if (each.profile != Status::Ok) continue;
        EXPECT_EQ(every.Enabled(), each.enabled) << each.name;
        if (!each.enabled) continue;
        EXPECT_EQ(every.FindOpenPort(80, Protocol::Tcp, name), each.found) << each.name;
        if (each.found == Status::Ok) {
            EXPECT_EQ(name, "HLMX 80 TCP") << each.name << ": the name of the first that keeps one";
            continue;
        }
        EXPECT_EQ(every.OpenPort(80, Protocol::Tcp, L"HLMX 80 TCP"), each.opening) << each.name;
        EXPECT_EQ(std::make_tuple(seen[0]->opened, seen[1]->opened, seen[2]->opened),
                  std::make_tuple(each.openedFirst, each.openedSecond, each.openedFallback))
            << each.name;
    }
}

// The port's lookup notes what keeps it closed over IPv6, named for each firewall that
// is on; an off one has nothing to say.
TEST(EveryFirewall, NotesWhatKeepsThePortClosedOverIpv6)
{
    const struct {
        bool firstOn, secondOn;
        int port;
        std::vector<std::string> noted;
    } cases[] = {
        {true, true, 81, {"ufw: no rule; firewalld: a chain"}},
        {false, true, 82, {"firewalld: a chain"}},
        {false, false, 83, {}},
    };
    for (const auto& each : cases) {
        auto first = std::make_unique<FakeManager>(With(each.firstOn));
        auto second = std::make_unique<FakeManager>(With(each.secondOn));
        first->gap = "no rule";
        second->gap = "a chain";
        std::vector<NamedManager> managers;
        managers.push_back({"ufw", std::move(first)});
        managers.push_back({"firewalld", std::move(second)});
        EveryFirewall every(std::move(managers), nullptr);
        std::string name;
        ASSERT_EQ(every.OpenProfile(), Status::Ok);
        every.FindOpenPort(each.port, Protocol::Tcp, name);
        every.FindOpenPort(each.port, Protocol::Tcp, name);  // noted once
        EXPECT_EQ(ClosedOverIpv6(each.port), each.noted) << each.port;
    }
}

// A bus socket that takes the connection and never answers, and one where nothing listens.
TEST(SystemBus, ConnectionEndsByTheDeadline)
{
    const std::filesystem::path socketPath =
        std::filesystem::temp_directory_path() / ("kavro-bus-" + std::to_string(::getpid()));
    UniqueFd silent(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    socketPath.string().copy(address.sun_path, sizeof address.sun_path - 1);
    ASSERT_EQ(::bind(silent.get(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(silent.get(), 4), 0);

    const std::pair<std::string, Status> cases[] = {
        {"unix:path=" + socketPath.string(), Status::TimedOut},
        {"unix:path=" + socketPath.string() + ".none", Status::NotFound},
    };
    for (const auto& [where, expected] : cases) {
        ::setenv("DBUS_SYSTEM_BUS_ADDRESS", where.c_str(), 1);
        const auto started = Clock::now();
        Status status = Status::Ok;
        EXPECT_EQ(SystemBus::Connect(started + std::chrono::milliseconds(300), status), nullptr) << where;
        EXPECT_EQ(status, expected) << where;
        EXPECT_LT(Clock::now() - started, std::chrono::milliseconds(1000)) << where;
    }
    ::unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
    std::filesystem::remove(socketPath);
}

} // namespace
} // namespace firewall
