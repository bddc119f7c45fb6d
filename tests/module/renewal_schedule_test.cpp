// The renewal timer's command file under $XDG_STATE_HOME: put in place while anything is
// recorded, taken away when nothing is, and never written or read through a link.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

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

struct Row {
    const char* name;
    void (*arrange)(const fs::path& state, const fs::path& elsewhere);
    bool anythingRecorded;
    bool commandFileAfter;  // renew/kavro.cmd a regular file holding "renew"
    bool headline;          // the user is told the forwards are not kept open
};

const Row kRows[] = {
    {"first_record_makes_the_folders", [](const fs::path&, const fs::path&) {}, true, true, false},
    {"other_contents_replaced",
     [](const fs::path& state, const fs::path&) {
         fs::create_directories(state / "varneth/renew");
         std::ofstream(state / "varneth/renew/kavro.cmd") << "kavro\n10.0.0.5\n8080\nTRUE\nTRUE\n";
     },
     true, true, false},
    {"link_at_the_command_file_replaced_not_followed",
     [](const fs::path& state, const fs::path& elsewhere) {
         fs::create_directories(state / "varneth/renew");
         fs::create_symlink(elsewhere / "target", state / "varneth/renew/kavro.cmd");
     },
     true, true, false},
    {"link_at_the_folder_not_entered",
     [](const fs::path& state, const fs::path& elsewhere) {
         fs::create_directories(state / "varneth");
         fs::create_symlink(elsewhere, state / "varneth/renew");
     },
     true, false, true},
    {"a_file_where_the_folder_goes",
     [](const fs::path& state, const fs::path&) { std::ofstream(state / "varneth") << "x"; }, true, false, true},
    {"empty_record_takes_the_command_file_away",
     [](const fs::path& state, const fs::path&) {
         fs::create_directories(state / "varneth/renew");
         std::ofstream(state / "varneth/renew/kavro.cmd") << "renew\n";
     },
     false, false, false},
    {"empty_record_makes_nothing", [](const fs::path&, const fs::path&) {}, false, false, false},
    {"empty_record_leaves_a_linked_folder_alone",
     [](const fs::path& state, const fs::path& elsewhere) {
         fs::create_directories(state / "varneth");
         fs::create_symlink(elsewhere, state / "varneth/renew");
         std::ofstream(elsewhere / "kavro.cmd") << "renew\n";
     },
     false, false, false},
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
    const fs::path state = scratch / "state", elsewhere = scratch / "elsewhere";
    row.arrange(state, elsewhere);
    const auto elsewhereBefore = std::distance(fs::directory_iterator(elsewhere), fs::directory_iterator());
    const std::string before = Contents(elsewhere / "kavro.cmd");
    const fs::path renew = state / "varneth/renew", commandFile = renew / "kavro.cmd";
    const bool madeHere = !fs::exists(fs::symlink_status(renew));

    ::testing::internal::CaptureStderr();
    RenewalScheduleFollows(row.anythingRecorded);
    const std::string told = ::testing::internal::GetCapturedStderr();

    const bool linked = fs::is_symlink(renew);
    const bool regular = !linked && fs::is_regular_file(fs::symlink_status(commandFile));
    EXPECT_EQ(regular && Contents(commandFile) == "renew\n", row.commandFileAfter);
    if (!row.commandFileAfter && !linked) {
        EXPECT_FALSE(fs::exists(fs::symlink_status(commandFile))) << "the timer would still run";
    }
    if (row.commandFileAfter && madeHere) {
        EXPECT_EQ(fs::status(renew).permissions() & fs::perms::all, fs::perms::owner_all);
    }
    EXPECT_EQ(told.rfind(kHeadlineMarker, 0) == 0, row.headline) << told;
    if (row.headline) {
        EXPECT_NE(told.find("varneth/renew"), std::string::npos) << told;
    }
    // Nothing reached through a link: the folder it points to is as it was.
    EXPECT_EQ(std::distance(fs::directory_iterator(elsewhere), fs::directory_iterator()), elsewhereBefore);
    EXPECT_EQ(Contents(elsewhere / "kavro.cmd"), before);
}

INSTANTIATE_TEST_SUITE_P(Rows, RenewalSchedule, ::testing::ValuesIn(kRows),
                         [](const ::testing::TestParamInfo<Row>& info) { return std::string(info.param.name); });

} // namespace
