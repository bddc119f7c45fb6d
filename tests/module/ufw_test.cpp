// ufw: the rules already there, the rule's name as ufw is given it, what the helper
// that pkexec runs as root takes, and what each way of failing tells the user.
#include <gtest/gtest.h>

#include <sstream>

#include "firewall/linux/ufw/ufw_command.h"
#include "firewall/linux/ufw/ufw_helper.h"
#include "firewall/linux/ufw/ufw_manager.h"
#include "firewall/linux/ufw/ufw_rules.h"
#include "scratch_folder.h"

namespace firewall {
namespace {

// Nothing in a name may reach ufw as an option, a quote, a word its parser looks for,
// or a character that changes how the text around it shows.
TEST(Ufw, NamesAreCleaned)
{
    const std::pair<std::wstring, std::string> cases[] = {
        {L"HLMX 8080 TCP", "HLMX 8080 TCP"}, {L"it's", "its"}, {L"say \"hi\"", "say hi"}, {L"a\tb\nc\rd", "abcd"},
        {L"a\x7f\x85\x2028\x2029z", "az"}, {L"--rootdir=/tmp/x", "rootdir=/tmp/x"}, {L" - x - ", "x -"},
        {L"in", ""}, {L"out", ""}, {L"log", ""}, {L"log-all", ""}, {L"'in'", ""}, {L"In", "In"}, {L"login", "login"},
        {L"\x00dcn\x00ef \x20ac", "\xc3\x9cn\xc3\xaf \xe2\x82\xac"},
        // Bidirectional overrides and isolates, zero-width and soft hyphen, tags, the byte order mark.
        {L"HLMX \x202e" L"PCT", "HLMX PCT"}, {L"a\x200f\x2066\x2069\x200b\x00ad" L"b", "ab"},
        {L"a\xfeff\x0600\x061c\xe0041\x1d173z", "az"},
        // Letters of other scripts and a symbol beyond the first plane stay.
        {L"\x05d0\x0628 \x1d11e", "\xd7\x90\xd8\xa8 \xf0\x9d\x84\x9e"},
    };
    for (const auto& [name, clean] : cases) EXPECT_EQ(CleanUfwName(name), clean) << ::testing::PrintToString(clean);
}

TEST(Ufw, HelperTakesOnlyAPortAProtocolAFamilyAndACleanName)
{
    const std::string longest(kMaxHelperNameBytes, 'n');
    const std::pair<std::vector<std::string>, bool> cases[] = {
        {{"8080", "tcp", "ipv4", "HLMX 8080 TCP"}, true}, {{"1", "udp", "ipv6"}, true},
        {{"65535", "tcp", "ipv4", longest}, true}, {{"80", "tcp", "ipv6", "\xc3\x9cn"}, true},
        {{"0", "tcp", "ipv4"}, false}, {{"65536", "tcp", "ipv4"}, false}, {{"+80", "tcp", "ipv4"}, false},
        {{"80", "tcp/udp", "ipv4"}, false}, {{"80", "TCP", "ipv4"}, false},
        // The family exactly as written, and always given.
        {{"80", "tcp"}, false}, {{"80", "tcp", "HLMX 80 TCP"}, false}, {{"80", "tcp", "IPv6"}, false},
        {{"80", "tcp", "ipv6 "}, false},
        // A name only as the cleaning above leaves it (each character it drops is a row there).
        {{"80", "tcp", "ipv4", longest + "n"}, false}, {{"80", "tcp", "ipv4", "it's"}, false},
        {{"80", "tcp", "ipv4", "\xff"}, false}, {{"80", "tcp", "ipv4", ""}, false}, {{"80"}, false},
        {{"80", "tcp", "ipv4", "x", "y"}, false},
        {{"delete", "8080", "tcp", "ipv6"}, true}, {{"delete", "8080", "tcp"}, false}, {{"delete", "8080"}, false},
        {{"delete", "0", "tcp", "ipv4"}, false}, {{"delete", "8080", "tcp", "ipv4", "HLMX 8080 TCP"}, false},
        {{"delete", "8080", "any", "ipv4"}, false}, {{"delete", "8080", "tcp", "ipv5"}, false}, {{"delete"}, false},
    };
    for (const auto& [arguments, taken] : cases)
        EXPECT_EQ(ReadHelperArguments(arguments).has_value(), taken) << ::testing::PrintToString(arguments);
    const auto request = ReadHelperArguments({"8080", "udp", "ipv6", "HLMX 8080 UDP"});
    ASSERT_TRUE(request);
    EXPECT_EQ(std::tie(request->remove, request->port, request->protocol, request->family, request->name),
              std::make_tuple(false, 8080, Protocol::Udp, Family::Ipv6, std::wstring(L"HLMX 8080 UDP")));
    const auto removal = ReadHelperArguments({"delete", "8080", "tcp", "ipv4"});
    ASSERT_TRUE(removal);
    EXPECT_EQ(std::tie(removal->remove, removal->port, removal->protocol, removal->family),
              std::make_tuple(true, 8080, Protocol::Tcp, Family::Ipv4));
}

std::string Tuple(const std::string& rule) { return "### tuple ### " + rule + "\n-A ufw-user-input -j ACCEPT\n"; }

// The rules an administrator may have for port 8080: which of them decides it.
TEST(Ufw, RulesAlreadyThereDecideThePort)
{
    constexpr Protocol Tcp = Protocol::Tcp, Udp = Protocol::Udp;
    using V = UfwVerdict;
    const std::string any4 = " 0.0.0.0/0 any 0.0.0.0/0 in";
    struct Case {
        std::string ipv4, ipv6;
        Protocol protocol;
        UfwVerdict verdict;
        std::string action;
    } const cases[] = {
        {Tuple("limit_log tcp 8080" + any4), "", Tcp, V::LetIn, "limit_log"},
        {Tuple("allow_log-all any 8000:8100" + any4 + " comment=6869"), "", Udp, V::LetIn, "allow_log-all"},
        {Tuple("allow tcp 22,8080 0.0.0.0/0 any 0.0.0.0/0 OpenSSH - in"), "", Tcp, V::LetIn, "allow"},
        {Tuple("limit tcp 8080" + any4), "", Udp, V::Undecided, ""},
        // IPv4: the first that decides; IPv6 only refuses.
        {Tuple("deny tcp 8080" + any4) + Tuple("allow tcp 8080" + any4), "", Tcp, V::Refused, "deny"},
        {Tuple("allow tcp 8080" + any4) + Tuple("deny tcp 8080" + any4), "", Tcp, V::LetIn, "allow"},
        {"", Tuple("deny tcp 8080 ::/0 any ::/0 in"), Tcp, V::Refused, "deny"},
        {"", Tuple("reject_log any 8080 ::/0 any ::/0 in_eth0"), Udp, V::Refused, "reject_log"},
        {"", Tuple("allow tcp 8080 ::/0 any ::/0 in"), Tcp, V::Undecided, ""},
        // Not for everyone, not incoming, or routed: such rules decide nothing here.
        {Tuple("deny any 8080 0.0.0.0/0 any 1.2.3.4 in"), Tuple("deny any 8080 ::/0 any 2001:db8::1 in"), Tcp,
         V::Undecided, ""},
        {Tuple("deny tcp 8080 0.0.0.0/0 1024 0.0.0.0/0 in"), "", Tcp, V::Undecided, ""},
        {Tuple("allow tcp 8080" + any4 + "_eth0") + Tuple("allow tcp 8080 10.0.0.1 any 0.0.0.0/0 in"), "", Tcp,
         V::Undecided, ""},
        {Tuple("deny tcp 8080 0.0.0.0/0 any 0.0.0.0/0 out") + Tuple("route:deny tcp 8080" + any4), "", Tcp,
         V::Undecided, ""},
        {Tuple("deny tcp 8081" + any4) + Tuple("deny tcp 8070:8079" + any4), "", Tcp, V::Undecided, ""},
    };
    for (const Case& c : cases) {
        const UfwDecision decision = DecidePort(ParseUfwRules(c.ipv4), ParseUfwRules(c.ipv6), 8080, c.protocol);
        EXPECT_EQ(decision.verdict, c.verdict) << c.ipv4 << c.ipv6;
        EXPECT_EQ(decision.rule.action, c.action) << c.ipv4 << c.ipv6;
        EXPECT_EQ(decision.ipv6, c.ipv4.empty() && c.verdict == V::Refused) << c.ipv4 << c.ipv6;
    }
}

// A scratch /etc/ufw: enabled, with the rules given; its files are left out for a
// user who may not read them.
struct UfwDirectory : ScratchFolder {
    UfwDirectory() { std::ofstream(path / "ufw.conf") << "ENABLED=yes\n"; }
    UfwFiles Files(const std::string& ipv4, const std::string& ipv6, bool readable) const
    {
        std::ofstream(path / "user.rules") << ipv4;
        std::ofstream(path / "user6.rules") << ipv6;
        const std::filesystem::path rules = readable ? path : path / "unreadable";
        return UfwFiles{(path / "ufw.conf").string(), (rules / "user.rules").string(), (rules / "user6.rules").string()};
    }
};

ProcessOutcome Exited(int code, std::string output = "")
{
    return {ProcessOutcome::End::Exited, code, 0, std::move(output), false};
}

// The headlines of standard error (">>[id] text"), each as its text.
std::string Headlines(const std::string& stderrText)
{
    std::istringstream lines(stderrText);
    std::string line, headlines;
    while (std::getline(lines, line))
        if (line.rfind(">>[", 0) == 0) headlines += line.substr(line.find("] ") + 2) + "\n";
    return headlines;
}

constexpr const char* kHelper = "/opt/port tool/kavro-ufw-allow";

// ufw or pkexec: each command line it is given is kept, and `answer` given back, but to
// "ufw status".
ProcessRunner Recording(std::vector<std::string>& ran, ProcessOutcome answer)
{
    return [&ran, answer](const std::vector<std::string>& argv, const std::vector<std::string>&, Deadline) {
        std::string line;
        for (const std::string& word : argv) line += (line.empty() ? "" : " ") + word;
        ran.push_back(line);
        return argv.at(1) == "status" ? Exited(0, "Status: active\n") : answer;
    };
}

// Root runs ufw itself; anyone else goes through the helper, which polkit allows, once a
// person gives a password where `asks`.
std::optional<PkexecRoute> RouteFor(bool root, bool asks = false)
{
    if (root) return std::nullopt;
    return PkexecRoute{kHelper, [asks](bool& asksPassword) {
                           asksPassword = asks;
                           return Status::Ok;
                       }};
}
const std::string kUfwAllow = "/usr/sbin/ufw allow from 0.0.0.0/0 to any port 8080 proto tcp comment HLMX 8080 TCP";
const std::string kPkexecAllow = std::string("/usr/bin/pkexec --disable-internal-agent ") + kHelper +
                                 " 8080 tcp ipv4 HLMX 8080 TCP";

// Root runs ufw; anyone else pkexec and the helper. What each answer comes to: the
// status, the command run (none when a rule already there decides), the headline. ufw
// keeps a rule per family: ours over IPv6 is added unless a rule of user6.rules lets the
// port in, and is found and removed by its name alone; over IPv6 the gap says why, and
// the IPv4 forward's headlines are not repeated.
TEST(Ufw, OpeningFindingAndClosingKeepEveryRuleAndTellWhy)
{
    const std::string own6 = Tuple("allow tcp 8080 ::/0 any ::/0 in comment=484c4d58203830383020544350");
    const std::string admin6 = Tuple("allow tcp 8080 ::/0 any ::/0 in");
    enum class Step { Open, Open6, Find6, Close6 };
    struct Case {
        const char* name;
        Step step;
        bool root;  // else a user, who may not read the rules
        std::string ipv4, ipv6;
        Status status;
        ProcessOutcome answer = Exited(0);
        std::string ran = "", headline = "";
        bool asks = false;  // polkit lets the helper run once a person gives a password
    } const cases[] = {
        // Reached when the caller did not look first.
        {"root: a limit stays", Step::Open, true, Tuple("limit tcp 8080 0.0.0.0/0 any 0.0.0.0/0 in"), "", Status::AlreadyOpen},
        {"root: ufw fails", Step::Open, true, "", "", Status::Failed, Exited(1, "ERROR: problem running\n"), kUfwAllow,
         "The firewall (ufw) did not let port 8080 in"},
        {"user: the helper's ufw held", Step::Open, false, "", "", Status::TimedOut, Exited(5), kPkexecAllow, "Time ran out"},
        {"user: the helper refused", Step::Open, false, "", "", Status::Failed, Exited(2), kPkexecAllow,
         "did not let port 8080 in"},
        {"user: not authorized", Step::Open, false, "", "", Status::AccessDenied,
         Exited(127, "Error executing command as another user: Not authorized\n\nThis incident has been reported.\n"),
         kPkexecAllow, "You are not allowed to change the firewall; ask an administrator."},
        {"user: the dialog closed", Step::Open, false, "", "", Status::AccessDenied,
         Exited(126, "Error executing command as another user: Request dismissed\n"), kPkexecAllow,
         "The password dialog was closed"},
        // pkexec ended where the password wait ends: not ufw's time running out.
        {"user: the password not given in time", Step::Open, false, "", "", Status::AccessDenied,
         {ProcessOutcome::End::TimedOut, -1, 0, {}, false}, kPkexecAllow,
         "The administrator's password was not given in time", true},
        {"an administrator's allow suffices over IPv6", Step::Open6, true, "", admin6, Status::AlreadyOpen},
        {"ours found by its name", Step::Find6, true, "", own6, Status::Ok},
        {"an administrator's allow is not ours", Step::Find6, true, "", admin6, Status::NotFound},
        {"unread rules cannot tell", Step::Find6, false, "", "", Status::AccessDenied},
        // None of ours there: said so, and the administrator's rule stays.
        {"an administrator's allow stays", Step::Close6, true, "", admin6, Status::NotFound},
    };
    for (const Case& c : cases) {
        UfwDirectory etc;
        std::vector<std::string> ran;
        UfwManager ufw(etc.Files(c.ipv4, c.ipv6, c.root), Recording(ran, c.answer), RunDeadline(), RouteFor(c.root, c.asks));
        ASSERT_EQ(ufw.OpenProfile(), Status::Ok) << c.name;
        ran.clear();  // root's "ufw status"
        ::testing::internal::CaptureStderr();
        const PortRequest request{8080, Protocol::Tcp, c.step == Step::Open ? Family::Ipv4 : Family::Ipv6, L"HLMX 8080 TCP", ""};
        const Status status = c.step == Step::Find6    ? ufw.FindOwnPort(request)
                              : c.step == Step::Close6 ? ufw.ClosePort(request)
                                                       : ufw.OpenPort(request).status;
        const std::string stderrText = ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(status, c.status) << c.name;
        EXPECT_EQ(ran, c.ran.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.ran}) << c.name;
        const std::string headlines = Headlines(stderrText);
        EXPECT_EQ(headlines.empty(), c.headline.empty()) << c.name << ": " << stderrText;
        EXPECT_NE(headlines.find(c.headline), std::string::npos) << c.name << ": " << stderrText;
    }
}

// No answer from polkit about the helper (its action not installed) is the headline before
// any port.
TEST(Ufw, PolkitWithoutAnAnswerIsTheHeadlineBeforeAnyPort)
{
    UfwDirectory etc;
    UfwManager ufw(etc.Files("", "", false), [](auto&&...) { return Exited(0); }, RunDeadline(),
                   PkexecRoute{kHelper, [](bool&) { return Status::Failed; }});
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(ufw.OpenProfile(), Status::Failed);
    EXPECT_EQ(Headlines(::testing::internal::GetCapturedStderr()),
              "The firewall (ufw) could not be read; the details below say why. Ask an administrator to look at ufw.\n");
}

// pkexec started by a window run from a terminal must not find the terminal to ask on.
TEST(Ufw, ProgramsRunInASessionOfTheirOwn)
{
    const ProcessOutcome outcome =
        RunProcess({"/bin/sh", "-c", "[ \"$(cut -d' ' -f6 /proc/$$/stat)\" = $$ ]"}, {}, RunDeadline());
    EXPECT_EQ(outcome.end, ProcessOutcome::End::Exited);
    EXPECT_EQ(outcome.exitCode, 0) << outcome.output;
}

} // namespace
} // namespace firewall
