#include "ufw/ufw_command.h"

#include <cstring>

#include "platform/utf8.h"

namespace firewall {
namespace {

bool IsControl(wchar_t c) { return c < 0x20 || (c >= 0x7F && c < 0xA0) || c == 0x2028 || c == 0x2029; }
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
        if (!IsControl(c) && !IsQuote(c)) kept.push_back(c);
    kept = Trimmed(kept);
    if (kept == L"in" || kept == L"out" || kept == L"log" || kept == L"log-all") return std::string();
    return Utf8FromWide(kept);
}

std::vector<std::string> UfwAllowCommand(int port, Protocol protocol, const std::string& cleanName)
{
    std::vector<std::string> command{kUfwProgram, "allow", std::to_string(port) + "/" + ProtocolName(protocol)};
    if (!cleanName.empty()) {
        command.push_back("comment");
        command.push_back(cleanName);
    }
    return command;
}

Status UfwOutcomeStatus(const ProcessOutcome& outcome, const std::string& what)
{
    switch (outcome.end) {
    case ProcessOutcome::End::NotStarted:
        ReportProblem(what + ": cannot start " + kUfwProgram + ": " + std::strerror(outcome.startError));
        return Status::Failed;
    case ProcessOutcome::End::TimedOut:
        ReportProblem(what + ": ufw did not finish in time");
        return Status::TimedOut;
    case ProcessOutcome::End::Signaled:
        ReportProblem(what + ": ufw ended abnormally");
        return Status::Failed;
    case ProcessOutcome::End::Exited:
        break;
    }
    if (outcome.exitCode == 0) return Status::Ok;
    ReportProblem(what + ": " + LastLine(outcome.output));
    return outcome.output.find("You need to be root") != std::string::npos ? Status::AccessDenied : Status::Failed;
}

} // namespace firewall
