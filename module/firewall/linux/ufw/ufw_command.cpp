#include "firewall/linux/ufw/ufw_command.h"

#include <cstring>

#include "platform/printable_text.h"
#include "platform/utf8.h"

namespace firewall {
namespace {

bool IsQuote(wchar_t c) { return c == L'\'' || c == L'"'; }

// Without spaces at either end, and without the dashes that would let ufw take the
// name for one of its options.
std::wstring Trimmed(const std::wstring& text)
{
    const auto first = text.find_first_not_of(L"- ");
    if (first == std::wstring::npos) return std::wstring();
    return text.substr(first, text.find_last_not_of(L' ') - first + 1);
}

std::string LastLine(const std::string& output)
{
    const auto end = output.find_last_not_of('\n');
    if (end == std::string::npos) return "(no output)";
    const auto newline = output.rfind('\n', end);
    const auto start = newline == std::string::npos ? 0 : newline + 1;
    return output.substr(start, end + 1 - start);
}

// A word the shell takes as it is, or in single quotes.
std::string ShellWord(const std::string& word)
{
    const char* const plain = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789/._:-";
    if (!word.empty() && word.find_first_not_of(plain) == std::string::npos) return word;
    std::string quoted = "'";
    for (const char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

const char* Anywhere(Family family) { return family == Family::Ipv4 ? "0.0.0.0/0" : "::/0"; }

} // namespace

const char* const kUfwProgram = "/usr/sbin/ufw";

std::vector<std::string> UfwEnvironment()
{
    return {"LC_ALL=C", "PATH=/usr/sbin:/usr/bin:/sbin:/bin"};
}

std::string CleanUfwName(const std::wstring& name)
{
    std::wstring kept;
    for (const wchar_t c : name)
        if (!IsHiddenCharacter(static_cast<char32_t>(c)) && !IsQuote(c)) kept.push_back(c);
    kept = Trimmed(kept);
    if (kept == L"in" || kept == L"out" || kept == L"log" || kept == L"log-all") return std::string();
    return Utf8FromWide(kept);
}

std::vector<std::string> UfwAllowCommand(int port, Protocol protocol, const std::string& cleanName, Family family)
{
    std::vector<std::string> command{kUfwProgram, "allow", "from", Anywhere(family), "to", "any", "port",
                                     std::to_string(port), "proto", ProtocolName(protocol)};
    if (!cleanName.empty()) {
        command.push_back("comment");
        command.push_back(cleanName);
    }
    return command;
}

std::vector<std::string> UfwAllowIpv6Command(int port, Protocol protocol)
{
    return UfwAllowCommand(port, protocol, "", Family::Ipv6);
}

std::vector<std::string> UfwDeleteCommand(int port, Protocol protocol, Family family)
{
    std::vector<std::string> command = UfwAllowCommand(port, protocol, "", family);
    command.insert(command.begin() + 1, "delete");
    return command;
}

std::string SudoLine(std::vector<std::string> command)
{
    if (command.at(0) == kUfwProgram) command[0] = "ufw";
    std::string line = "sudo";
    for (const std::string& word : command) line += " " + ShellWord(word);
    return line;
}

UfwOutcome UfwRunOutcome(const ProcessOutcome& outcome, const std::string& what)
{
    switch (outcome.end) {
    case ProcessOutcome::End::NotStarted:
        ReportProblem(what + ": cannot start: " + std::strerror(outcome.startError));
        return UfwOutcome::Failed;
    case ProcessOutcome::End::TimedOut:
        ReportProblem(what + ": did not finish in time");
        return UfwOutcome::Busy;
    case ProcessOutcome::End::Signaled:
        ReportProblem(what + ": ended abnormally");
        return UfwOutcome::Failed;
    case ProcessOutcome::End::Exited:
        break;
    }
    if (outcome.exitCode == 0) return UfwOutcome::Done;
    ReportProblem(what + ": " + LastLine(outcome.output));
    return outcome.output.find("You need to be root") != std::string::npos ? UfwOutcome::NotAllowed
                                                                          : UfwOutcome::Failed;
}

} // namespace firewall
