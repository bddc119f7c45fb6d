// How the firewall managers are asked together, and the system bus where nothing listens.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "fake_firewall.h"
#include "firewall/firewall_opener.h"
#include "firewall/linux/every_firewall.h"
#include "firewall/linux/system_bus.h"

namespace firewall {
namespace {

// One manager as EveryFirewall meets it: on or off, whether it lets port 80 in already,
// what opening a port and its profile answer.
struct Script {
    bool on;
    bool open = false;
    Status opening = Status::Ok;
    Status profile = Status::Ok;
};

// Three fakes, two found on the machine and the fallback, each with its own log; the
// second keeps a name for what it lets in, the first none.
struct Managers {
    explicit Managers(const Script (&scripts)[3])
    {
        FakeFirewall* fakes[] = {&first, &second, &fallback};
        for (int i = 0; i < 3; ++i) {
            fakes[i]->on = scripts[i].on;
            fakes[i]->profile = scripts[i].profile;
            if (scripts[i].open) fakes[i]->entries["TCP 80"] = i == 1 ? "HLMX 80 TCP" : "";
            if (scripts[i].opening != Status::Ok) fakes[i]->answers["OpenPort"] = scripts[i].opening;
        }
    }
    EveryFirewall Every()
    {
        std::vector<NamedManager> found;
        found.push_back({"ufw", first.Manager()});
        found.push_back({"firewalld", second.Manager()});
        return EveryFirewall(std::move(found), [this] { return NamedManager{"nftables", fallback.Manager()}; });
    }
    int Opened(const FakeFirewall& fake) const
    {
        return int(std::count_if(fake.calls.begin(), fake.calls.end(),
                                 [](const std::string& call) { return call.rfind("OpenPort", 0) == 0; }));
    }
    std::vector<std::string> calls[3];
    FakeFirewall first{calls[0]}, second{calls[1]}, fallback{calls[2]};
};

const PortRequest kPort80{80, Protocol::Tcp, Family::Ipv4, L"HLMX 80 TCP", "10.0.0.5"};

TEST(EveryFirewall, LetsThePortInThroughEachThatIsOn)
{
    constexpr Status Ok = Status::Ok, NotFound = Status::NotFound, Failed = Status::Failed;
    const struct {
        const char* name;
        Script scripts[3];  // the first, the second, the fallback
        Status profile, found, opening;  // the answers of EveryFirewall
        bool enabled;
        int opened[3];
    } cases[] = {
        {"one has it already", {{true, true}, {true}, {true}}, Ok, NotFound, Ok, true, {0, 1, 0}},
        {"both have it", {{true, true}, {true, true}, {true}}, Ok, Ok, Ok, true, {0, 0, 0}},
        {"the first refuses, the second is still asked", {{true, false, Failed}, {true}, {true}}, Ok, NotFound, Failed,
         true, {1, 1, 0}},
        {"none on, nor the fallback", {{false}, {false}, {false}}, Ok, NotFound, Ok, false, {0, 0, 0}},
        {"a profile not had", {{true, false, Ok, Status::TimedOut}, {true}, {true}}, Status::TimedOut, NotFound, Ok,
         false, {0, 0, 0}},
    };
    for (const auto& each : cases) {
        Managers managers(each.scripts);
        EveryFirewall every = managers.Every();
        ASSERT_EQ(every.OpenProfile(), each.profile) << each.name;
        if (each.profile != Status::Ok) continue;
        EXPECT_EQ(every.Enabled(), each.enabled) << each.name;
        if (!each.enabled) continue;
        const FirewallManager::Found found = every.FindOpenPort(kPort80);
        EXPECT_EQ(found.status, each.found) << each.name;
        if (each.found == Status::Ok) {
            EXPECT_EQ(found.name, "HLMX 80 TCP") << each.name << ": the name of the first that keeps one";
            continue;
        }
        EXPECT_EQ(every.OpenPort(kPort80).status, each.opening) << each.name;
        EXPECT_EQ(std::make_tuple(managers.Opened(managers.first), managers.Opened(managers.second),
                                  managers.Opened(managers.fallback)),
                  std::make_tuple(each.opened[0], each.opened[1], each.opened[2]))
            << each.name;
    }
}

// Once the gateway opened the pinholes: the firewall's own rule where it keeps one per
// family, and what still keeps the port closed, named for each firewall that is on and
// said once for both protocols.
TEST(EveryFirewall, LetsInOverIpv6WhatThePinholesOpened)
{
    const struct {
        const char* name;
        bool firstOn, secondOn;
        Status profile, opening;  // the first's: ufw's, which keeps a rule per family
        std::vector<std::string> closed;
    } cases[] = {
        {"each keeps it closed", true, true, Status::Ok, Status::AccessDenied, {"ufw: no rule", "firewalld: a chain"}},
        {"one off", false, true, Status::Ok, Status::Ok, {"firewalld: a chain"}},
        {"none on", false, false, Status::Ok, Status::Ok, {}},
        {"the firewall unread", true, true, Status::AccessDenied, Status::Ok,
         {"the firewall could not be read; try again as a user who may read it"}},
    };
    for (const auto& each : cases) {
        Managers managers({{each.firstOn, false, each.opening, each.profile}, {each.secondOn}, {false}});
        managers.first.familiesApart = true;
        if (each.opening != Status::Ok) managers.first.gaps = {"no rule"};
        managers.second.gaps = {"a chain"};
        const FirewallOverIpv6 opened = OpenFirewallOverIpv6(
            [&managers] { return std::make_unique<EveryFirewall>(managers.Every()); }, 8080,
            {Protocol::Tcp, Protocol::Udp}, "10.0.0.5");
        EXPECT_TRUE(opened.entriesMade.empty()) << each.name;
        EXPECT_EQ(opened.closed, each.closed) << each.name;
    }
}

// Nothing listening where the system bus should be is no bus, not a failure to report.
TEST(SystemBus, NoneWhereNothingListens)
{
    const std::filesystem::path nowhere =
        std::filesystem::temp_directory_path() / ("kavro-bus-" + std::to_string(::getpid()) + ".none");
    ::setenv("DBUS_SYSTEM_BUS_ADDRESS", ("unix:path=" + nowhere.string()).c_str(), 1);
    Status status = Status::Ok;
    EXPECT_EQ(SystemBus::Connect(Clock::now() + std::chrono::seconds(9), status), nullptr);
    EXPECT_EQ(status, Status::NotFound);
    ::unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
}

} // namespace
} // namespace firewall
