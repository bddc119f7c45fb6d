#include "ufw/ufw_helper.h"

#include "platform/posix/utf8.h"
#include "ufw/ufw_command.h"

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

bool CleanName(const std::string& name)
{
    return !name.empty() && name.size() <= kMaxHelperNameBytes && CleanUfwName(WideFromUtf8(name)) == name;
}

} // namespace

const char* const kPkexecProgram = "/usr/bin/pkexec";
const char* const kUfwHelperName = "kavro-ufw-allow";
const char* const kUfwHelperAction = "org.varneth.kavro.ufw-allow";

std::vector<std::string> PkexecUfwAllowCommand(const std::string& helper, int port, Protocol protocol,
                                               const std::string& cleanName)
{
    std::vector<std::string> command{kPkexecProgram, helper, std::to_string(port), ProtocolName(protocol)};
    if (!cleanName.empty()) command.push_back(cleanName);
    return command;
}

std::vector<std::string> PkexecUfwDeleteCommand(const std::string& helper, int port, Protocol protocol)
{
    return {kPkexecProgram, helper, "delete", std::to_string(port), ProtocolName(protocol)};
}

std::optional<HelperRequest> ReadHelperArguments(const std::vector<std::string>& arguments)
{
    if (!arguments.empty() && arguments[0] == "delete") {
        if (arguments.size() != 3) return std::nullopt;
        const std::optional<int> port = PortArgument(arguments[1]);
        const std::optional<Protocol> protocol = ProtocolArgument(arguments[2]);
        if (!port || !protocol) return std::nullopt;
        return HelperRequest{true, *port, *protocol, {}};
    }
    if (arguments.size() != 2 && arguments.size() != 3) return std::nullopt;
    const std::optional<int> port = PortArgument(arguments[0]);
    const std::optional<Protocol> protocol = ProtocolArgument(arguments[1]);
    const std::string name = arguments.size() == 3 ? arguments[2] : std::string();
    if (!port || !protocol || (arguments.size() == 3 && !CleanName(name))) return std::nullopt;
    return HelperRequest{false, *port, *protocol, WideFromUtf8(name)};
}

Status PkexecOutcomeStatus(const ProcessOutcome& outcome, const std::string& what)
{
    if (outcome.end == ProcessOutcome::End::Exited &&
        (outcome.exitCode == kPkexecNotAuthorized || outcome.exitCode == kPkexecNoAuthentication)) {
        const std::string reason = outcome.output.substr(0, outcome.output.find('\n'));
        ReportProblem(what + ": pkexec refused: " + (reason.empty() ? "(no output)" : reason));
        return Status::AccessDenied;
    }
    return UfwOutcomeStatus(outcome, what);
}

} // namespace firewall
