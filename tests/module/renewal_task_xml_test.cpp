// The scheduled task's XML: what Windows' scheduler must find in it, in the order its
// schema asks, with any path or user name escaped.
#include <gtest/gtest.h>

#include <string>

#include "schedule/renewal_task_xml.h"

namespace {

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
