// The rule's name as ufw is given it, and what the helper that pkexec runs as root takes.
#include <gtest/gtest.h>

#include "ufw/ufw_command.h"
#include "ufw/ufw_helper.h"

namespace firewall {
namespace {

// Nothing in a name may reach ufw as an option, a quote or a word its parser looks for.
TEST(Ufw, NamesAreCleaned)
{
    const std::pair<std::wstring, std::string> cases[] = {
        {L"HLMX 8080 TCP", "HLMX 8080 TCP"}, {L"it's", "its"}, {L"say \"hi\"", "say hi"}, {L"a\tb\nc\rd", "abcd"},
        {L"a\x7f\x85\x2028\x2029z", "az"}, {L"--rootdir=/tmp/x", "rootdir=/tmp/x"}, {L" - x - ", "x -"},
        {L"in", ""}, {L"out", ""}, {L"log", ""}, {L"log-all", ""}, {L"'in'", ""}, {L"In", "In"}, {L"login", "login"},
        {L"\x00dcn\x00ef \x20ac", "\xc3\x9cn\xc3\xaf \xe2\x82\xac"},
    };
    for (const auto& [name, clean] : cases) EXPECT_EQ(CleanUfwName(name), clean);
}

TEST(Ufw, HelperTakesOnlyAPortAProtocolAndACleanName)
{
    const std::string longest(kMaxHelperNameBytes, 'n');
    const std::pair<std::vector<std::string>, bool> cases[] = {
        {{"8080", "tcp", "HLMX 8080 TCP"}, true}, {{"1", "udp"}, true}, {{"65535", "tcp", longest}, true},
        {{"0", "tcp"}, false}, {{"65536", "tcp"}, false}, {{"080", "tcp"}, false}, {{"+80", "tcp"}, false},
        {{"80; rm -rf /", "tcp"}, false}, {{"80", "tcp/udp"}, false}, {{"80", "TCP"}, false},
        {{"80", "tcp", longest + "n"}, false}, {{"80", "tcp", "--dry-run"}, false}, {{"80", "tcp", "it's"}, false},
        {{"80", "tcp", "in"}, false}, {{"80", "tcp", "a\nb"}, false}, {{"80", "tcp", "\xff"}, false},
        {{"80", "tcp", ""}, false}, {{"80"}, false}, {{"80", "tcp", "x", "y"}, false},
        {{"delete", "8080", "tcp"}, true}, {{"delete", "8080"}, false}, {{"delete", "0", "tcp"}, false},
        {{"delete", "8080", "tcp", "HLMX 8080 TCP"}, false}, {{"delete", "8080", "any"}, false}, {{"delete"}, false},
    };
    for (const auto& [arguments, taken] : cases)
        EXPECT_EQ(ReadHelperArguments(arguments).has_value(), taken) << ::testing::PrintToString(arguments);
    const auto request = ReadHelperArguments({"8080", "udp", "HLMX 8080 UDP"});
    ASSERT_TRUE(request);
    EXPECT_EQ(std::tie(request->remove, request->port, request->protocol, request->name),
              std::make_tuple(false, 8080, Protocol::Udp, std::wstring(L"HLMX 8080 UDP")));
    const auto removal = ReadHelperArguments({"delete", "8080", "tcp"});
    ASSERT_TRUE(removal);
    EXPECT_EQ(std::tie(removal->remove, removal->port, removal->protocol), std::make_tuple(true, 8080, Protocol::Tcp));
}

} // namespace
} // namespace firewall
