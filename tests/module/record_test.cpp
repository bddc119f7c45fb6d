// What the user's state folder keeps. The record of forwards: its parser on damaged, truncated
// and unknown-field lines, the device an entry was made on, and the store with things planted
// at its path. The renewal timer's command file, with links planted at it or at its folder:
// never written through a link; and the scheduled task's XML, what Windows' scheduler must
// find in it, in the order its schema asks, with any path or user name escaped. Protocol,
// family and method: a spelling other than their own is read as nothing, and a protocol
// selector out of range asks for nothing; each spelling itself is checked where it is
// written and read back: the record's bytes, and the commands ufw and its helper get.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <ctime>
#include <string>
#include <tuple>

#include "record/forward_record_store.h"
#include "schedule/renewal_schedule.h"
#include "schedule/renewal_task_xml.h"
#include "sample_forwards.h"
#include "scratch_folder.h"
#include "terms.h"

namespace fs = std::filesystem;

namespace {

const std::string kHead = std::string(kRecordHeader) + "\n";
const std::string kLine = "mapping\tprotocol=UDP\texternal-port=8080\tinternal-address=192.168.1.5\tinternal-port=8080"
                          "\tfamily=IPv4\thow=PCP\tgateway-address=192.168.1.1\tnonce=00112233445566778899aabb"
                          "\tlifetime=7200\tgranted=1765000000";

const std::string kFirewallOnly = std::string(kFirewallOnlyFile.header) + "\n";
const std::string kFirewallOnlyLine = "firewall-only\tprotocol=TCP\texternal-port=6666\tinternal-address=192.168.1.5"
                                      "\tfamily=IPv4\tgranted=1765000000\tfirewall=HLMX 6666 TCP";

// The line with its first `from` made `to`.
std::string Bent(const std::string& from, const std::string& to, std::string line = kLine)
{
    return line.replace(line.find(from), from.size(), to);
}

TEST(Parse, ReadsARecordOrSaysWhyNot)
{
    const struct {
        const char* name;
        std::string text;
        std::size_t forwards;  // entries read when the text is a record
        const char* damage;    // start of the reason when it is not; "" when it is
        const RecordKind& kind = kForwardsFile;
    } rows[] = {
        {"HeaderOnly", kHead, 0, ""},
        {"CommentsAndBlankLinesSkipped", kHead + "# note\n\n" + kLine + "\n", 1, ""},
        {"UnknownFieldSkipped", kHead + kLine + "\tcolour=blue\n", 1, ""},
        {"CrLfLineEnds", std::string(kRecordHeader) + "\r\n" + kLine + "\r\n", 1, ""},
        {"Empty", "", 0, "it is cut short"},
        {"LastLineCutShort", kHead + kLine.substr(0, 40), 0, "it is cut short"},
        {"OtherHeader", "varneth forwards 2\n" + kLine + "\n", 0, "its first line is not"},
        {"UnknownKind", kHead + "pinhole\tprotocol=TCP\n", 0, "line 2: it is not a mapping"},
        {"FieldWithoutEquals", kHead + kLine + "\tbroken\n", 0, "line 2: a field without '='"},
        {"RequiredFieldMissing", kHead + "mapping\tprotocol=TCP\texternal-port=80\n", 0, "line 2: the field internal-address"},
        {"PortOutOfRange", kHead + kLine + "\n" + Bent("=8080", "=70000") + "\n", 0, "line 3: a port is not"},
        {"NegativeLifetime", kHead + Bent("=7200", "=-1") + "\n", 0, "line 2: the lifetime"},
        {"EpochNotANumber", kHead + kLine + "\tepoch=soon\n", 0, "line 2: the router's epoch"},
        // The firewall-only file: its entries name the port and the firewall entry alone.
        {"FirewallOnlyEntry", kFirewallOnly + kFirewallOnlyLine + "\tfirewall-asked=HLMX 6666 TCP\n", 1, "",
         kFirewallOnlyFile},
        {"FirewallOnlyWithoutAnEntry", kFirewallOnly + Bent("\tfirewall=HLMX 6666 TCP", "", kFirewallOnlyLine) + "\n", 0,
         "line 2: it names no firewall entry", kFirewallOnlyFile},
        {"FirewallOnlyInTheForwards", kHead + kFirewallOnlyLine + "\n", 0, "line 2: it is not a mapping"},
        {"PinholeWithoutItsId", kHead + Bent("PCP", "UPnP", Bent("IPv4", "IPv6")) + "\tfor-address=192.168.1.5\n", 0,
         "line 2: a pinhole lacks"},
    };
    for (const auto& row : rows) {
        const RecordReading reading = ParseRecord(row.text, row.kind);
        EXPECT_EQ(reading.forwards.size(), row.forwards) << row.name;
        EXPECT_EQ(reading.damage.empty(), *row.damage == '\0') << row.name << ": " << reading.damage;
        EXPECT_EQ(reading.damage.rfind(row.damage, 0), 0u) << row.name << ": " << reading.damage;
    }
}

TEST(Terms, NoOtherSpellingIsRead)
{
    for (const char* text : {"", "Tcp", "tcp", "TCP ", " UDP", "T", "SCTP"}) EXPECT_EQ(Parse<Protocol>(text), std::nullopt) << text;
    for (const char* text : {"", "ipv6", "IPV6", "IPv6\n"}) EXPECT_EQ(Parse<Family>(text), std::nullopt) << text;
    for (const char* text : {"", "upnp", "NAT_PMP", "NATPMP", "System"}) EXPECT_EQ(Parse<Method>(text), std::nullopt) << text;
    // Varneth::Forward's selector is 0, 1 or 2; any other asks for nothing.
    for (const std::int32_t selector : {-1, 3}) EXPECT_TRUE(ProtocolsOf(selector).empty()) << selector;
}

// An entry with more of its fields set, a tab in its description.
RecordedForward Sample(int port, Protocol protocol = Protocol::Tcp)
{
    RecordedForward f = Entry(port, Method::Upnp, protocol);
    f.grant.externalAddress = "11.77.0.1";
    f.grant.epoch = 86400;
    f.grant.description += "\twith a tab";
    return f;
}

// A same mapping replaces its entry, the pinhole beside it is one of its own; a port only
// the firewall lets in is kept apart, and a mapping made later for it takes it over, with its
// firewall entry.
TEST(Record, ASameMappingReplacesItsEntryAndTakesOverAFirewallOnlyOne)
{
    std::vector<RecordedForward> forwards;
    Remember(forwards, Sample(8080));
    Remember(forwards, Sample(8080, Protocol::Udp));
    RecordedForward again = Sample(8080);
    again.grant.grantedAt += 3600;
    again.firewallEntry.clear(); // the firewall let it in already: through our first entry
    Remember(forwards, again);
    Remember(forwards, Pinhole(8080));
    ASSERT_EQ(forwards.size(), 3u);
    EXPECT_EQ(forwards[0].grant.grantedAt, again.grant.grantedAt);
    EXPECT_EQ(forwards[0].firewallEntry, "HLMX 8080 TCP");

    RecordedForward letIn = ParseRecord(kFirewallOnly + kFirewallOnlyLine + "\n", kFirewallOnlyFile).forwards.at(0);
    Remember(forwards, letIn);
    RecordedForward mapped = Entry(6666);
    mapped.grant.internalAddress = letIn.grant.internalAddress;
    mapped.firewallEntry.clear(); // the firewall let it in already: through the entry made before
    Remember(forwards, mapped);
    ASSERT_EQ(forwards.size(), 4u);
    EXPECT_FALSE(forwards[3].firewallOnly);
    EXPECT_EQ(forwards[3].firewallEntry, "HLMX 6666 TCP");
}

// A record as this version writes it, byte for byte: every kind of entry and field, read
// and written back unchanged (the tab of a description was written as a blank). Only the
// entry that says it is another device's is one; the others are this machine's.
TEST(Record, WritesBackTheBytesItRead)
{
    const std::string home = "\tgateway-udn=uuid:home\tgateway-address=192.168.1.1\tgateway-link=02:00:00:00:00:01";
    const std::string golden =
        kHead + "# What Varneth opened for this user; Kavro's renew, list and close read it. One line per mapping.\n"
        "mapping\tprotocol=TCP\texternal-port=8080\tinternal-address=192.168.1.5\tinternal-port=8080\tfamily=IPv4\thow=UPnP" +
        home + "\texternal-address=11.77.0.1\tlifetime=7200\tgranted=1764999400\tchecked=1765000000"
        "\tfirewall=HLMX 8080 TCP\tdescription=HLMX 8080 TCP with a tab\n"
        "mapping\tprotocol=UDP\texternal-port=8080\tinternal-address=192.168.1.7\tinternal-port=8080\tfamily=IPv4"
        "\thow=system" + home + "\texternal-address=11.77.0.1\tlifetime=0\tgranted=1765000000\tdescription=HLMX 8080 UDP"
        "\tanother-device=yes\n"
        "mapping\tprotocol=UDP\texternal-port=9000\tinternal-address=192.168.1.5\tinternal-port=9001\tfamily=IPv4\thow=PCP"
        "\tgateway-address=192.168.1.1\tgateway-link=02:00:00:00:00:01\tnonce=00112233445566778899aabb"
        "\texternal-address=11.77.0.1\tlifetime=7200\tgranted=1765000000\tepoch=86400\tfirewall=HLMX 9000 UDP\n"
        "mapping\tprotocol=TCP\texternal-port=7000\tinternal-address=192.168.1.5\tinternal-port=7000\tfamily=IPv4"
        "\thow=NAT-PMP\tgateway-address=192.168.1.1\tlifetime=3600\tgranted=1765000000\tepoch=0\tclosing=yes\n"
        "mapping\tprotocol=TCP\texternal-port=8080\tinternal-address=2001:db8:77::2\tinternal-port=8080\tfamily=IPv6"
        "\thow=UPnP" + home + "\texternal-address=2001:db8:77::2\tlifetime=7200\tgranted=1765000000"
        "\tfirewall=HLMX 8080 TCP\tpinhole=7\tfor-address=192.168.1.5\n"
        "mapping\tprotocol=UDP\texternal-port=8080\tinternal-address=2001:db8:77::2\tinternal-port=8080\tfamily=IPv6"
        "\thow=PCP\tgateway-address=192.168.1.1\tnonce=ffeeddccbbaa998877665544\texternal-address=2001:db8:77::2"
        "\tlifetime=7200\tgranted=1765000000\tepoch=12\tfor-address=192.168.1.5\n";
    const RecordReading reading = ParseRecord(golden);
    ASSERT_EQ(reading.damage, "");
    EXPECT_EQ(reading.forwards.size(), 6u);
    EXPECT_EQ(FormatRecord(reading.forwards), golden);
}

// The device that answered at the recorded address made the entry: by its UDN where both
// know one, else by a link-layer address both know; one not known matches nothing.
TEST(GatewayIdentity, MadeOnTheDeviceThatAnsweredOnlyByWhatBothKnow)
{
    const std::string link = kHome.linkAddress, at = kHome.address;
    const std::tuple<const char*, RecordedForward, gateway::Identity, bool> rows[] = {  // name, entry, answered, made
        {"UPnP, no UDN learnt: its link", Entry(8080), {"", at, link}, true},
        {"PCP, the neighbour table flushed", Entry(8080, Method::Pcp), {"", at, ""}, false},
        {"PCP, another link", Entry(8080, Method::Pcp), {"", at, "02:00:00:00:00:99"}, false},
        {"PCP, recorded without its link",
         [] { auto f = Entry(8080, Method::Pcp); f.grant.gateway.linkAddress.clear(); return f; }(), {"", at, link}, false},
        {"NAT-PMP, another address", Entry(8080, Method::NatPmp), {"", "10.0.0.1", link}, false},
    };
    for (const auto& [name, entry, answered, made] : rows) EXPECT_EQ(MadeOnDevice(entry, answered), made) << name;
}

// Never followed nor emptied: set aside with its reason beside it, never over a copy set
// aside before (in the same second too), and a new record written in its place.
TEST(Store, WhatIsPlantedAtTheRecordIsSetAsideWithItsReason)
{
    using Path = const std::filesystem::path&;
    const std::pair<const char*, void (*)(Path)> planted[] = {
        {"link", [](Path p) { std::filesystem::create_symlink("/etc/passwd", p); }},
        {"fifo", [](Path p) { ::mkfifo(p.c_str(), 0600); }},
    };
    for (const auto& [name, plant] : planted) {
        const ScratchStateHome state;
        plant(state.Varneth() / "forwards");
        const long long now = std::time(nullptr);
        std::vector<std::filesystem::path> earlier;
        for (long long second = now - 1; second <= now + 2; ++second) {
            earlier.push_back(state.Varneth() / ("forwards.damaged-" + std::to_string(second)));
            std::ofstream(earlier.back()) << "set aside earlier\n";
        }
        Told problem;
        {
            auto store = ForwardRecordStore::Open(problem);
            ASSERT_TRUE(store) << name << ": " << problem.text;
            EXPECT_TRUE(store->forwards.empty()) << name;
            Remember(store->forwards, Sample(8080));
            ASSERT_TRUE(store->Save()) << name;
        }
        for (const auto& copy : earlier) {
            EXPECT_EQ(Contents(copy), "set aside earlier\n") << name;
            std::filesystem::remove(copy);
        }
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(state.Varneth()))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        ASSERT_EQ(names.size(), 5u) << name << ": " << ::testing::PrintToString(names);
        EXPECT_EQ(names[1].rfind("forwards.damaged-", 0), 0u) << name;
        EXPECT_EQ(names, (std::vector<std::string>{"forwards", names[1], names[1] + ".reason", "forwards.lock", "renew"}))
            << name;
        EXPECT_TRUE(std::filesystem::is_regular_file(std::filesystem::symlink_status(state.Varneth() / "forwards")));
        const auto store = ForwardRecordStore::Open(problem);
        ASSERT_TRUE(store) << name << ": " << problem.text;
        EXPECT_EQ(store->forwards.size(), 1u) << name;
    }
}

// A record past its bound is no record of ours: never read cut short at the bound, where
// the entries beyond it would be lost with the next write, and left as it is.
TEST(Store, ARecordPastItsBoundIsNeitherReadNorChanged)
{
    const ScratchStateHome state;
    std::string text = kHead + kLine + "\n";
    const std::string comment = "# " + std::string(98, 'x') + "\n";
    while (text.size() + comment.size() + 2 <= kRecordLimit) text += comment;
    text += "#" + std::string(kRecordLimit - text.size() - 2, 'x') + "\n"; // a line end right at the bound
    text += Bent("=8080", "=9090") + "\n";
    std::ofstream(state.Varneth() / "forwards", std::ios::binary) << text;
    Told problem;
    EXPECT_FALSE(ForwardRecordStore::Open(problem));
    EXPECT_NE(problem.text.find("is larger than 4 MB"), std::string::npos) << problem.text;
    EXPECT_EQ(Contents(state.Varneth() / "forwards"), text);
}

using Arrange = void (*)(const fs::path& renew, const fs::path& elsewhere);

void LinkTheFolder(const fs::path& renew, const fs::path& elsewhere)
{
    fs::create_symlink(elsewhere, renew);
    std::ofstream(elsewhere / "kavro.cmd") << "renew\n";
}

TEST(RenewalSchedule, KeepsTheCommandFileInStep)
{
    // The name, the links planted, whether anything is recorded, whether renew/kavro.cmd is a regular file
    // saying "renew" after, and whether the user is told the forwards are not kept open.
    const std::tuple<const char*, Arrange, bool, bool, bool> rows[] = {
        {"a link at the command file replaced, not followed",
         [](const fs::path& renew, const fs::path& elsewhere) {
             fs::create_directories(renew);
             fs::create_symlink(elsewhere / "target", renew / "kavro.cmd");
         },
         true, true, false},
        {"a link at the folder not entered", LinkTheFolder, true, false, true},
        {"an empty record leaves a linked folder alone", LinkTheFolder, false, false, false},
    };
    for (const auto& [name, arrange, anythingRecorded, commandFileAfter, headline] : rows) {
        const ScratchStateHome state;
        const fs::path renew = state.Varneth() / "renew", elsewhere = state.path / "elsewhere";
        fs::create_directories(elsewhere);
        arrange(renew, elsewhere);
        const std::string elsewhereBefore = Contents(elsewhere / "kavro.cmd");

        ::testing::internal::CaptureStderr();
        RenewalScheduleFollows(anythingRecorded);
        const std::string told = ::testing::internal::GetCapturedStderr();

        const bool linked = fs::is_symlink(renew);
        const fs::file_status commandFile = fs::symlink_status(renew / "kavro.cmd");
        EXPECT_EQ(!linked && fs::is_regular_file(commandFile) && Contents(renew / "kavro.cmd") == "renew\n",
                  commandFileAfter)
            << name;
        EXPECT_EQ(told.find(">>[schedule-folder-not-set-up] ") != std::string::npos, headline) << name << ": " << told;
        // Nothing reached through a link.
        EXPECT_EQ(Contents(elsewhere / "kavro.cmd"), elsewhereBefore) << name;
        EXPECT_FALSE(fs::exists(elsewhere / "target")) << name;
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

TEST(RenewalTaskXml, HoldsEachPieceEscapedAndInSchemaOrderAndIsKnownAgain)
{
    // Within each element, in this order.
    const std::pair<const wchar_t*, std::wstring> pieces[][3] = {  // element, text
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
        for (const auto& [within, text] : group) {
            if (within == nullptr) break;
            const std::size_t at = Within(within, text);
            const std::wstring element(within);
            ASSERT_NE(at, std::wstring::npos) << "a piece missing from " << std::string(element.begin(), element.end());
            EXPECT_GT(at, previous) << "out of order in " << std::string(element.begin(), element.end());
            previous = at;
        }
    }
    // Nothing of the inputs left unescaped.
    EXPECT_EQ(kXml.find(L"Tom & "), std::wstring::npos);
    EXPECT_EQ(kXml.find(L"<apps>"), std::wstring::npos);

    // A task already in place is not registered again: told from the XML the scheduler gives
    // back, whose layout and escaping are its own.
    const std::wstring program = L"C:\\Tom & Jerry's <apps>\\KavroBackground.exe", folder = L"C:\\Tom\\renew";
    const std::tuple<const char*, std::wstring, bool> rows[] = {
        {"as written", RenewalTaskXml(program, folder, L"PC\\tom", L"2026-12-07T10:55:00"), true},
        {"as written back", L"<Exec>\n  <Command>C:\\Tom &amp; Jerry's &lt;apps&gt;\\KavroBackground.exe</Command>\n"
                            L"  <WorkingDirectory>C:\\Tom\\renew</WorkingDirectory>\n</Exec>", true},
        {"another program", RenewalTaskXml(L"D:\\old\\KavroBackground.exe", folder, L"PC\\tom", L"x"), false},
        {"another folder", RenewalTaskXml(program, L"C:\\Tom\\other", L"PC\\tom", L"x"), false},
        {"no action kept", L"<Actions><Exec/></Actions>", false},
        {"no working directory", L"<Exec><Command>C:\\Tom &amp; Jerry's &lt;apps&gt;\\KavroBackground.exe</Command></Exec>", false},
    };
    for (const auto& [name, xml, runs] : rows) EXPECT_EQ(RenewalTaskXmlRuns(xml, program, folder), runs) << name;
}

} // namespace
