#include "ufw/ufw_manager.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "diagnostics.h"
#include "file_text.h"
#include "ufw/ufw_command.h"
#include "ufw/ufw_config.h"
#include "ufw/ufw_helper.h"

namespace firewall {
namespace {

Status FileStatus(int error, const std::string& path)
{
    ReportProblem("cannot read " + path + ": " + std::strerror(error));
    return error == EACCES || error == EPERM ? Status::AccessDenied : Status::Failed;
}

} // namespace

UfwManager::UfwManager(UfwFiles files, ProcessRunner runner, Deadline deadline, std::optional<PkexecRoute> route)
    : files_(std::move(files)), runner_(std::move(runner)), deadline_(deadline), route_(std::move(route))
{
}

Status UfwManager::OpenProfile()
{
    std::string config;
    const int error = ReadFileText(files_.config, config);
    // ufw installed but never configured: it is not running.
    if (error == ENOENT) return Status::Ok;
    if (error != 0) return FileStatus(error, files_.config);
    enabled_ = UfwConfigEnabled(config);
    // Switched off, ufw has nothing for us to change. Switched on, only root may change
    // it, and ufw says so itself, before it waits for its lock: one still waiting when
    // time runs out (another ufw holds the lock) has let us in, and it is opening the
    // port that fails.
    if (!enabled_) return Status::Ok;
    // polkit's no is known now; a question for the user waits for the port, which its
    // message names.
    if (route_) return route_->polkitAllows();
    const Status status = Run({kUfwProgram, "status"}, "ufw status");
    return status == Status::TimedOut ? Status::Ok : status;
}

Status UfwManager::FindOpenPort(int port, Protocol protocol, std::string& name)
{
    // Only root may read the rules: through pkexec the helper reads them, and ufw
    // itself skips a rule it holds already.
    if (route_ && ::access(files_.rules.c_str(), R_OK) != 0 && errno == EACCES) return Status::NotFound;
    std::optional<UfwRule> rule;
    const Status status = ReadDecidingRule(port, protocol, rule);
    if (status != Status::Ok) return status;
    if (!rule || IsRefusal(*rule)) return Status::NotFound;
    name = rule->comment;
    return Status::Ok;
}

// An allow appended after the administrator's deny would never be reached; the deny stands.
Status UfwManager::OpenPort(int port, Protocol protocol, const std::wstring& name)
{
    // Whoever is not root can read no rules: the helper, as root, comes back here.
    if (route_) {
        if (!Ready("pkexec ufw allow")) return Status::TimedOut;
        const auto command = PkexecUfwAllowCommand(route_->helper, port, protocol, CleanUfwName(name));
        return PkexecOutcomeStatus(runner_(command, UfwEnvironment(), deadline_), "pkexec ufw allow");
    }
    std::optional<UfwRule> rule;
    const Status status = ReadDecidingRule(port, protocol, rule);
    if (status != Status::Ok) return status;
    if (rule && IsRefusal(*rule)) {
        ReportProblem("ufw's rule \"" + rule->action + " " + rule->ports + "/" + rule->protocol +
                      "\" comes first and stands: " + std::to_string(port) + "/" + ProtocolName(protocol) +
                      " not opened");
        return Status::Failed;
    }
    return Run(UfwAllowCommand(port, protocol, CleanUfwName(name)), "ufw allow");
}

Status UfwManager::ClosePort(int port, Protocol protocol)
{
    if (route_) {
        if (!Ready("pkexec ufw delete")) return Status::TimedOut;
        const auto command = PkexecUfwDeleteCommand(route_->helper, port, protocol);
        return PkexecOutcomeStatus(runner_(command, UfwEnvironment(), deadline_), "pkexec ufw delete");
    }
    std::optional<UfwRule> rule;
    const Status status = ReadDecidingRule(port, protocol, rule);
    if (status != Status::Ok) return status;
    // ufw holds one rule per port and protocol, its comment being the last one given:
    // under our name it is ours.
    if (!rule || IsRefusal(*rule) || rule->comment != OwnRuleName(port, protocol)) {
        if (rule && !IsRefusal(*rule))
            UserLine("ufw's rule for " + std::to_string(port) + "/" + ProtocolName(protocol) + " is not this tool's (\"" +
                     rule->comment + "\"); it stays.");
        return Status::Ok;
    }
    return Run({kUfwProgram, "delete", "allow", std::to_string(port) + "/" + ProtocolName(protocol)}, "ufw delete");
}

Status UfwManager::ReadDecidingRule(int port, Protocol protocol, std::optional<UfwRule>& rule)
{
    std::string rules;
    const int error = ReadFileText(files_.rules, rules);
    if (error == ENOENT) return Status::Ok; // no rules yet
    if (error != 0) return FileStatus(error, files_.rules);
    rule = FindDecidingRule(ParseUfwRules(rules), port, protocol);
    return Status::Ok;
}

Status UfwManager::Run(const std::vector<std::string>& command, const std::string& what)
{
    if (!Ready(what)) return Status::TimedOut;
    return UfwOutcomeStatus(runner_(command, UfwEnvironment(), deadline_), what);
}

bool UfwManager::Ready(const std::string& what) const
{
    if (MillisecondsLeft(deadline_) > 0) return true;
    ReportProblem(what + ": no time left");
    return false;
}

} // namespace firewall
