#include <gtest/gtest.h>

#include <filesystem>

#include "result_file.h"
#include "scratch_directory.h"

namespace {

#ifdef _WIN32
const std::string kEol = "\r\n";
#else
const std::string kEol = "\n";
#endif

TEST(ResultWriters, WriteExactBytesAndReplaceTheFile)
{
    ScratchDirectory dir;
    WriteBytes("log.txt", "an earlier, much longer result that must vanish\n");
    writeResultText("0");
    EXPECT_EQ(ReadBytes("log.txt"), "0" + kEol);

    writeResultLines({L"10.0.0.1", L"192.168.1.20", L"ERROR"});
    EXPECT_EQ(ReadBytes("log.txt"), "10.0.0.1" + kEol + "192.168.1.20" + kEol + "ERROR" + kEol);

    writeResultLines({});
    EXPECT_TRUE(std::filesystem::exists("log.txt"));
    EXPECT_EQ(ReadBytes("log.txt"), "");
}

TEST(ResultWriters, FailSilentlyWhenTheFileCannotBeMade)
{
    ScratchDirectory dir;
    std::filesystem::create_directory("log.txt");  // nothing can open a directory for writing
    writeResultText("0");
    writeResultLines({L"10.0.0.1"});
    EXPECT_TRUE(std::filesystem::is_directory("log.txt"));
    // Nor is the new file it was to replace the directory with left beside it.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator("."), std::filesystem::directory_iterator()), 1);
}

struct CommandCase {
    const char* name;
    std::string bytes;
    std::vector<std::wstring> expected;
};

class CommandFile : public ::testing::TestWithParam<CommandCase> {};

TEST_P(CommandFile, ReadsEveryLineWithoutItsLineEnd)
{
    ScratchDirectory dir;
    WriteBytes("kavro.cmd", GetParam().bytes);
    const auto lines = readCommandLines();
    ASSERT_TRUE(lines.has_value());
    EXPECT_EQ(*lines, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Files, CommandFile,
    ::testing::Values(CommandCase{"crlf_getips", "getips\r\n", {L"getips", L""}},
                      CommandCase{"forward_lf", "kavro\n10.0.0.2\n8080\nTRUE\nFALSE\n",
                                  {L"kavro", L"10.0.0.2", L"8080", L"TRUE", L"FALSE", L""}},
                      CommandCase{"no_final_line_end", "getips", {L"getips"}},
                      CommandCase{"empty_file", "", {L""}},
                      CommandCase{"nul_and_high_bytes", std::string("ge\0tips\n\xff\xfe", 10),
                                  {std::wstring(L"ge\0tips", 7), L"\xff\xfe"}}),
    [](const ::testing::TestParamInfo<CommandCase>& info) { return info.param.name; });

TEST(CommandFileLimits, MissingOrUnreadableFileGivesNothing)
{
    ScratchDirectory dir;
    EXPECT_FALSE(readCommandLines().has_value());
    std::filesystem::create_directory("kavro.cmd");
    EXPECT_FALSE(readCommandLines().has_value());
}

TEST(CommandFileLimits, AHugeFileIsReadOnlyAsFarAsACommandCanReach)
{
    ScratchDirectory dir;
    WriteBytes("kavro.cmd", "getips\r\n" + std::string(8 * 1024 * 1024, 'x'));
    const auto lines = readCommandLines();
    ASSERT_TRUE(lines.has_value());
    EXPECT_EQ(lines->front(), L"getips");
    EXPECT_LT(lines->back().size(), 128u * 1024u);
}

} // namespace
