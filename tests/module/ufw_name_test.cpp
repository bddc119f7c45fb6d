// The mapping's name becomes a ufw rule's comment: nothing in it may reach ufw as an
// option, a quote or one of the words ufw's parser looks for anywhere on the line.
#include <gtest/gtest.h>

#include "ufw_command.h"

TEST(UfwName, NamesUfwCannotTakeAreCleaned)
{
    const std::pair<std::wstring, std::string> cases[] = {
        {L"HLMX 8080 TCP", "HLMX 8080 TCP"},
        {L"it's", "its"},
        {L"say \"hi\"", "say hi"},
        {L"a\tb\nc\rd", "abcd"},
        {L"a\x7f\x85\x2028\x2029z", "az"},
        {L"--rootdir=/tmp/x", "rootdir=/tmp/x"},
        {L" - x - ", "x -"},
        {L"in", ""}, {L"out", ""}, {L"log", ""}, {L"log-all", ""}, {L"'in'", ""},
        {L"In", "In"}, {L"login", "login"},
        {L"\x00dcn\x00ef \x20ac", "\xc3\x9cn\xc3\xaf \xe2\x82\xac"},
    };
    for (const auto& [name, clean] : cases) EXPECT_EQ(firewall::CleanUfwName(name), clean);
}
