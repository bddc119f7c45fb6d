#include "ufw_manager.h"

#include <cerrno>
#include <cstring>
#include <utility>

#include "file_text.h"
#include "ufw_command.h"
#include "ufw_config.h"
#include "ufw_rules.h"

namespace firewall {
namespace {

Status FileStatus(int error, const std::string& path)
{
    ReportProblem("cannot read " + path + ": " + std::strerror(error));
    return error == EACCES || error == EPERM ? Status::AccessDenied : Status::Failed;
}

} // namespace

UfwManager::UfwManager(UfwFiles files, ProcessRunner runner, TimeBudget budget)
    : files_(std::move(files)), runner_(std::move(runner)), budget_(budget)
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
    // it, and ufw says so itself.
    return enabled_ ? Run({kUfwProgram, "status"}, "ufw status") : Status::Ok;
}

Status UfwManager::FindOpenPort(int port, Protocol protocol, std::string& name)
{
    std::string rules;
    const int error = ReadFileText(files_.rules, rules);
    if (error == ENOENT) return Status::NotFound;
    if (error != 0) return FileStatus(error, files_.rules);
    const auto rule = FindOpeningRule(ParseUfwRules(rules), port, protocol);
    if (!rule) return Status::NotFound;
    name = rule->comment;
    return Status::Ok;
}

Status UfwManager::OpenPort(int port, Protocol protocol, const std::wstring& name)
{
    return Run(UfwAllowCommand(port, protocol, CleanUfwName(name)), "ufw allow");
}

Status UfwManager::Run(const std::vector<std::string>& command, const std::string& what)
{
    if (budget_.Exhausted()) {
        ReportProblem(what + ": no time left");
        return Status::TimedOut;
    }
    const auto start = TimeBudget::Clock::now();
    const ProcessOutcome outcome = runner_(command, UfwEnvironment(), budget_.Remaining());
    budget_.ChargeSince(start);
    return UfwOutcomeStatus(outcome, what);
}

} // namespace firewall
