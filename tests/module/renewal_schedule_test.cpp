// The renewal timer's command file under $XDG_STATE_HOME, with links planted at it or at its
// folder: never written through a link.
#include <gtest/gtest.h>

#include "schedule/renewal_schedule.h"
#include "scratch_folder.h"

namespace fs = std::filesystem;

namespace {

using Arrange = void (*)(const fs::path& renew, const fs::path& elsewhere);

void LinkTheFolder(const fs::path& renew, const fs::path& elsewhere)
{
    fs::create_directories(renew.parent_path());
    fs::create_symlink(elsewhere, renew);
    std::ofstream(elsewhere / "kavro.cmd") << "renew\n";
}

TEST(RenewalSchedule, KeepsTheCommandFileInStep)
{
    const struct {
        const char* name;
        Arrange arrange;
        bool anythingRecorded;
        bool commandFileAfter;  // renew/kavro.cmd a regular file saying "renew"
        bool headline;          // the user is told the forwards are not kept open
    } rows[] = {
        {"a link at the command file replaced, not followed",
         [](const fs::path& renew, const fs::path& elsewhere) {
             fs::create_directories(renew);
             fs::create_symlink(elsewhere / "target", renew / "kavro.cmd");
         },
         true, true, false},
        {"a link at the folder not entered", LinkTheFolder, true, false, true},
        {"an empty record leaves a linked folder alone", LinkTheFolder, false, false, false},
    };
    for (const auto& row : rows) {
        const ScratchStateHome state;
        const fs::path renew = state.Varneth() / "renew", elsewhere = state.path / "elsewhere";
        fs::create_directories(elsewhere);
        row.arrange(renew, elsewhere);
        const std::string elsewhereBefore = Contents(elsewhere / "kavro.cmd");

        ::testing::internal::CaptureStderr();
        RenewalScheduleFollows(row.anythingRecorded);
        const std::string told = ::testing::internal::GetCapturedStderr();

        const bool linked = fs::is_symlink(renew);
        const fs::file_status commandFile = fs::symlink_status(renew / "kavro.cmd");
        EXPECT_EQ(!linked && fs::is_regular_file(commandFile) && Contents(renew / "kavro.cmd") == "renew\n",
                  row.commandFileAfter)
            << row.name;
        EXPECT_EQ(told.find(">>[schedule-folder-not-set-up] ") != std::string::npos, row.headline)
            << row.name << ": " << told;
        // Nothing reached through a link.
        EXPECT_EQ(Contents(elsewhere / "kavro.cmd"), elsewhereBefore) << row.name;
        EXPECT_FALSE(fs::exists(elsewhere / "target")) << row.name;
    }
}

} // namespace
