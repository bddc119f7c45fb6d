// What keeps forwards renewed: the timer's command file under $XDG_STATE_HOME, with links
// planted at it or at its folder, never written through a link; and the scheduled task's XML,
// what Windows' scheduler must find in it, in the order its schema asks, with any path or
// user name escaped.
#include <gtest/gtest.h>

#include <string>

#include "schedule/renewal_schedule.h"
#include "schedule/renewal_task_xml.h"
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

const std::wstring kXml = RenewalTaskXml(L"C:\\Tom & Jerry's <apps>\\KavroBackground.exe",
                                         L"C:\\Users\\Tom & Jerry\\AppData\\Local\\Varneth\\renew",
                                         L"HOME\\\"Tom\"", L"2026-12-07T10:55:00");

// Where `piece` first appears inside the first `element`, or npos.
std::size_t Within(const wchar_t* element, const std::wstring& piece)
{
    const std::size_t open = kXml.find(std::wstring(L"<") + element + L">");
    const std::size_t close = kXml.find(std::wstring(L"</") + element + L">");
    const std::size_t at = kXml.find(piece, open);
    return open == std::wstring::npos || at >= close ? std::wstring::npos : at;
}

struct Piece {
    const wchar_t* element;
    std::wstring text;
};

TEST(RenewalTaskXml, HoldsEachPieceEscapedAndInSchemaOrder)
{
    // Within each element, in this order.
    const Piece pieces[][3] = {
        {{L"LogonTrigger", L"<UserId>HOME\\&quot;Tom&quot;</UserId>"}},
        // The query is XML inside XML: escaped, and before the delay.
        {{L"EventTrigger", L"<Subscription>&lt;QueryList&gt;"},
         {L"EventTrigger", L"@Name=&apos;Microsoft-Windows-Power-Troubleshooter&apos;] and EventID=1]]"},
         {L"EventTrigger", L"<Delay>PT30S</Delay>"}},
        {{L"TimeTrigger", L"<StartBoundary>2026-12-07T10:55:00</StartBoundary>"},
         {L"TimeTrigger", L"<Repetition><Interval>PT5M</Interval></Repetition>"}},
        {{L"Principals", L"<UserId>HOME\\&quot;Tom&quot;</UserId>"},
         {L"Principals", L"<LogonType>InteractiveToken</LogonType>"},
         {L"Principals", L"<RunLevel>LeastPrivilege</RunLevel>"}},
        {{L"Exec", L"<Command>C:\\Tom &amp; Jerry&apos;s &lt;apps&gt;\\KavroBackground.exe</Command>"},
         {L"Exec", L"<WorkingDirectory>C:\\Users\\Tom &amp; Jerry\\AppData\\Local\\Varneth\\renew</WorkingDirectory>"}},
    };
    for (const auto& group : pieces) {
        std::size_t previous = 0;
        for (const Piece& piece : group) {
            if (piece.element == nullptr) break;
            const std::size_t at = Within(piece.element, piece.text);
            const std::wstring element(piece.element);
            ASSERT_NE(at, std::wstring::npos) << "a piece missing from " << std::string(element.begin(), element.end());
            EXPECT_GT(at, previous) << "out of order in " << std::string(element.begin(), element.end());
            previous = at;
        }
    }
    // Nothing of the inputs left unescaped.
    EXPECT_EQ(kXml.find(L"Tom & "), std::wstring::npos);
    EXPECT_EQ(kXml.find(L"<apps>"), std::wstring::npos);
}

// A task already in place is not registered again: told from the XML the scheduler gives
// back, whose layout and escaping are its own.
TEST(RenewalTaskXml, TellsWhetherARegisteredTaskRunsTheProgram)
{
    const std::wstring program = L"C:\\Tom & Jerry's <apps>\\KavroBackground.exe", folder = L"C:\\Tom\\renew";
    const struct {
        const char* name;
        std::wstring xml;
        bool runs;
    } rows[] = {
        {"as written", RenewalTaskXml(program, folder, L"PC\\tom", L"2026-12-07T10:55:00"), true},
        {"as written back", L"<Exec>\n  <Command>C:\\Tom &amp; Jerry's &lt;apps&gt;\\KavroBackground.exe</Command>\n"
                            L"  <WorkingDirectory>C:\\Tom\\renew</WorkingDirectory>\n</Exec>", true},
        {"another program", RenewalTaskXml(L"D:\\old\\KavroBackground.exe", folder, L"PC\\tom", L"x"), false},
        {"another folder", RenewalTaskXml(program, L"C:\\Tom\\other", L"PC\\tom", L"x"), false},
        {"no action kept", L"<Actions><Exec/></Actions>", false},
        {"no working directory", L"<Exec><Command>C:\\Tom &amp; Jerry's &lt;apps&gt;\\KavroBackground.exe</Command></Exec>", false},
    };
    for (const auto& row : rows) EXPECT_EQ(RenewalTaskXmlRuns(row.xml, program, folder), row.runs) << row.name;
}

} // namespace
