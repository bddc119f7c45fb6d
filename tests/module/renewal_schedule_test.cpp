// The renewal timer's command file under $XDG_STATE_HOME: put in place while anything is
// recorded, taken away when nothing is, and never written through a link.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "diagnostics.h"
#include "renewal_schedule.h"

namespace fs = std::filesystem;

namespace {

std::string Contents(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

using Arrange = void (*)(const fs::path& renew, const fs::path& elsewhere);

struct Row {
    const char* name;
    Arrange arrange;
    bool anythingRecorded;
    bool commandFileAfter;  // renew/kavro.cmd a regular file saying "renew"
    bool headline;          // the user is told the forwards are not kept open
};

void LinkTheFolder(const fs::path& renew, const fs::path& elsewhere)
{
    fs::create_directories(renew.parent_path());
    fs::create_symlink(elsewhere, renew);
    std::ofstream(elsewhere / "kavro.cmd") << "renew\n";
}

const Row kRows[] = {
    {"first_record_makes_folder_and_file", [](const fs::path&, const fs::path&) {}, true, true, false},
    {"link_at_the_command_file_replaced_not_followed",
     [](const fs::path& renew, const fs::path& elsewhere) {
         fs::create_directories(renew);
         fs::create_symlink(elsewhere / "target", renew / "kavro.cmd");
     },
     true, true, false},
    {"link_at_the_folder_not_entered", LinkTheFolder, true, false, true},
    {"empty_record_takes_the_command_file_away",
     [](const fs::path& renew, const fs::path&) {
         fs::create_directories(renew);
         std::ofstream(renew / "kavro.cmd") << "renew\n";
     },
     false, false, false},
    {"empty_record_leaves_a_linked_folder_alone", LinkTheFolder, false, false, false},
};

void PrintTo(const Row& row, std::ostream* out) { *out << row.name; }

class RenewalSchedule : public ::testing::TestWithParam<Row> {
protected:
    void SetUp() override
    {
        std::string pattern = (fs::temp_directory_path() / "kavro-renew-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        scratch = pattern;
        fs::create_directories(scratch / "state");
        fs::create_directories(scratch / "elsewhere");
        ::setenv("XDG_STATE_HOME", (scratch / "state").c_str(), 1);
    }
    void TearDown() override
    {
        ::unsetenv("XDG_STATE_HOME");
        fs::remove_all(scratch);
    }
    fs::path scratch;
};

TEST_P(RenewalSchedule, KeepsTheCommandFileInStep)
{
    const Row& row = GetParam();
    const fs::path renew = scratch / "state/varneth/renew", elsewhere = scratch / "elsewhere";
    row.arrange(renew, elsewhere);
    const std::string elsewhereBefore = Contents(elsewhere / "kavro.cmd");

    ::testing::internal::CaptureStderr();
    RenewalScheduleFollows(row.anythingRecorded);
    const std::string told = ::testing::internal::GetCapturedStderr();

    const bool linked = fs::is_symlink(renew);
    const fs::file_status commandFile = fs::symlink_status(renew / "kavro.cmd");
    EXPECT_EQ(!linked && fs::is_regular_file(commandFile) && Contents(renew / "kavro.cmd") == "renew\n",
              row.commandFileAfter);
    if (!linked && !row.commandFileAfter) {
        EXPECT_FALSE(fs::exists(commandFile)) << "the timer would still run";
    }
    EXPECT_EQ(told.rfind(kHeadlineMarker, 0) == 0, row.headline) << told;
    // Nothing reached through a link.
    EXPECT_EQ(Contents(elsewhere / "kavro.cmd"), elsewhereBefore);
    EXPECT_FALSE(fs::exists(elsewhere / "target"));
}

INSTANTIATE_TEST_SUITE_P(Rows, RenewalSchedule, ::testing::ValuesIn(kRows),
                         [](const ::testing::TestParamInfo<Row>& info) { return std::string(info.param.name); });

} // namespace
