#include "firewall/linux/ufw/ufw_helper.h"

#include "firewall/linux/ufw/ufw_command.h"
#include "platform/utf8.h"

namespace firewall {
namespace {

// pkexec's exit statuses when it did not run the program.
constexpr int kPkexecNotAuthorized = 126;
constexpr int kPkexecNoAuthentication = 127;

std::optional<int> PortArgument(const std::string& text)
{
    if (text.empty() || text.size() > 5 || text[0] == '0' || text.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    const int port = std::stoi(text);
    if (port > 65535) return std::nullopt;
    return port;
}

std::optional<Protocol> ProtocolArgument(const std::string& text)
{
    if (text == ProtocolName(Protocol::Tcp)) return Protocol::Tcp;
    if (text == ProtocolName(Protocol::Udp)) return Protocol::Udp;
    return std::nullopt;
}

std::optional<Family> FamilyArgument(const std::string& text)
{
    if (text == FamilyName(Family::Ipv4)) return Family::Ipv4;
    if (text == FamilyName(Family::Ipv6)) return Family::Ipv6;
    return std::nullopt;
}

bool CleanName(const std::string& name)
{
    return !name.empty() && name.size() <= kMaxHelperNameBytes && CleanUfwName(WideFromUtf8(name)) == name;
}

bool Says(const std::string& output, const char* text) { return output.find(text) != std::string::npos; }

// pkexec says why in English (LC_ALL=C): an agent missing, a dialog closed, or a no.
UfwOutcome PkexecRefusal(const std::string& output)
{
    if (Says(output, "No authentication agent")) return UfwOutcome::NoAgent;
    if (Says(output, "dismissed")) return UfwOutcome::Cancelled;
    return UfwOutcome::NotAllowed;
}

} // namespace

const char* const kPkexecProgram = "/usr/bin/pkexec";
const char* const kUfwHelperName = "kavro-ufw-allow";
const char* const kUfwHelperAction = "org.varneth.kavro.ufw-allow";

std::vector<std::string> UfwHelperCommand(const std::string& helper, int port, Protocol protocol, Family family,
                                          const std::string& cleanName)
{
    std::vector<std::string> command{helper, std::to_string(port), ProtocolName(protocol), FamilyName(family)};
    if (!cleanName.empty()) command.push_back(cleanName);
    return command;
}

std::vector<std::string> PkexecUfwAllowCommand(const std::string& helper, int port, Protocol protocol, Family family,
                                               const std::string& cleanName)
{
    std::vector<std::string> command{kPkexecProgram, "--disable-internal-agent"};
    for (std::string& word : UfwHelperCommand(helper, port, protocol, family, cleanName))
        command.push_back(std::move(word));
    return command;
}

std::vector<std::string> PkexecUfwDeleteCommand(const std::string& helper, int port, Protocol protocol,
                                                Family family)
{
    return {kPkexecProgram,         "--disable-internal-agent", helper, "delete", std::to_string(port),
            ProtocolName(protocol), FamilyName(family)};
}

std::optional<HelperRequest> ReadHelperArguments(const std::vector<std::string>& arguments)
{
    const bool remove = !arguments.empty() && arguments[0] == "delete";
    const std::vector<std::string> rest(arguments.begin() + (remove ? 1 : 0), arguments.end());
    // Only an allow takes a name.
    if (rest.size() != 3 && (remove || rest.size() != 4)) return std::nullopt;
    const std::optional<int> port = PortArgument(rest[0]);
    const std::optional<Protocol> protocol = ProtocolArgument(rest[1]);
    const std::optional<Family> family = FamilyArgument(rest[2]);
    const std::string name = rest.size() == 4 ? rest[3] : std::string();
    if (!port || !protocol || !family || (rest.size() == 4 && !CleanName(name))) return std::nullopt;
    return HelperRequest{remove, *port, *protocol, *family, WideFromUtf8(name)};
}

UfwOutcome PkexecOutcome(const ProcessOutcome& outcome, const std::string& what)
{
    if (outcome.end != ProcessOutcome::End::Exited || outcome.exitCode == 0) return UfwRunOutcome(outcome, what);
    if (outcome.exitCode == kPkexecNotAuthorized || outcome.exitCode == kPkexecNoAuthentication) {
        const std::string reason = outcome.output.substr(0, outcome.output.find('\n'));
        ReportProblem(what + ": pkexec refused: " + (reason.empty() ? "(no output)" : reason));
        return PkexecRefusal(outcome.output);
    }
    const UfwOutcome answer = OutcomeOfHelperExit(outcome.exitCode);
    if (answer == UfwOutcome::RuleStands)
        ReportProblem(what + ": a rule of the administrator's for the port stands; nothing was added");
    else if (answer == UfwOutcome::Busy)
        ReportProblem(what + ": ufw did not finish in time");
    else if (answer == UfwOutcome::Failed)
        ReportProblem(what + ": failed with exit status " + std::to_string(outcome.exitCode));
    return answer;
}

} // namespace firewall
