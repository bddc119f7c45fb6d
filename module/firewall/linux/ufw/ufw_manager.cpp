#include "firewall/linux/ufw/ufw_manager.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "firewall/linux/file_text.h"
#include "firewall/linux/ufw/ufw_command.h"
#include "firewall/linux/ufw/ufw_config.h"
#include "firewall/linux/ufw/ufw_helper.h"
#include "firewall/sentences.h"
#include "platform/utf8.h"

namespace firewall {
namespace {

Status FileStatus(int error, const std::string& path)
{
    ReportProblem("cannot read " + path + ": " + std::strerror(error));
    return error == EACCES || error == EPERM ? Status::AccessDenied : Status::Failed;
}

// The rules of one file; a missing file holds none yet.
Status ReadRules(const std::string& path, std::vector<UfwRule>& rules)
{
    std::string text;
    const int error = ReadFileText(path, text);
    if (error != 0 && error != ENOENT) return FileStatus(error, path);
    rules = ParseUfwRules(text);
    return Status::Ok;
}

std::string Described(const UfwDecision& decision)
{
    const UfwRule& rule = decision.rule;
    return "\"" + rule.action + " " + rule.ports + "/" + rule.protocol + " from " + rule.from + "\"" +
           (decision.ipv6 ? " (IPv6)" : "");
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
    if (error != 0) {
        TellOutcome(UfwOutcome::Unreadable, 0);
        return FileStatus(error, files_.config);
    }
    configured_ = true;
    enabled_ = UfwConfigEnabled(config);
    // Switched off, ufw has nothing for us to change.
    if (!enabled_) return Status::Ok;
    // polkit's no is known now; a question for the user waits for the port, which its
    // message names.
    if (route_) {
        const Status allowed = route_->polkitAllows(asksPassword_);
        if (allowed != Status::Ok)
            TellOutcome(allowed == Status::AccessDenied ? UfwOutcome::NotAllowed : UfwOutcome::Unreadable, 0);
        return allowed;
    }
    // Switched on, only root may change ufw, and ufw says so itself before it waits
    // for its lock: one still waiting when time runs out (another ufw holds the lock)
    // has let us in, and it is opening the port that fails.
    const UfwOutcome status = Run({kUfwProgram, "status"}, "ufw status");
    if (status == UfwOutcome::Done || status == UfwOutcome::Busy) return Status::Ok;
    TellOutcome(status == UfwOutcome::NotAllowed ? status : UfwOutcome::Unreadable, 0);
    return StatusOf(status);
}

FirewallManager::Found UfwManager::FindOpenPort(const PortRequest& request)
{
    // Rules we may not read are the helper's to check, as root: the caller cannot know.
    if (!RulesReadable()) return {Status::AccessDenied, {}};
    UfwDecision decision;
    const Status status = ReadDecision(request.port, request.protocol, request.family, decision);
    if (status != Status::Ok) return {status, {}};
    if (decision.verdict != UfwVerdict::LetIn) return {Status::NotFound, {}};
    return {Status::Ok, decision.rule.comment};
}

// Over IPv6, why the rule was not added is the gap's to tell, once the pinhole is open.
Opening UfwManager::OpenPort(const PortRequest& request)
{
    const std::string cleanName = CleanUfwName(request.name);
    Opening opening;
    if (request.family == Family::Ipv6) {
        const bool closed = !Ipv6Gap(request.port, request.protocol).empty();
        opening.status = closed ? StatusOf(Open(request.port, request.protocol, cleanName, Family::Ipv6))
                                : Status::AlreadyOpen;
        if (std::string gap = Ipv6Gap(request.port, request.protocol); !gap.empty())
            opening.closedOverIpv6.push_back(std::move(gap));
    } else {
        const UfwOutcome outcome = Open(request.port, request.protocol, cleanName);
        if (outcome == UfwOutcome::NoAgent)
            opening.leftToAdministrator.push_back({AdministratorStep::Firewall::Ufw,
                                                   FinishCommand(request.port, request.protocol, cleanName), {}, {}});
        else
            TellOutcome(outcome, request.port);
        opening.status = StatusOf(outcome);
    }
    opening.code = StatusCode(opening.status);
    return opening;
}

UfwOutcome UfwManager::Open(int port, Protocol protocol, const std::string& cleanName, Family family)
{
    if (const std::optional<UfwOutcome> decided = Decided(port, protocol, family)) return *decided;
    if (route_) return AskHelper(port, protocol, family, cleanName);
    return Run(UfwAllowCommand(port, protocol, cleanName, family), "ufw allow");
}

Status UfwManager::FindOwnPort(const PortRequest& request)
{
    if (!RulesReadable()) return Status::AccessDenied;
    UfwDecision decision;
    const Status status = ReadDecision(request.port, request.protocol, request.family, decision);
    if (status != Status::Ok) return status;
    return decision.verdict == UfwVerdict::LetIn && decision.rule.comment == Utf8FromWide(request.name)
               ? Status::Ok
               : Status::NotFound;
}

// The caller says what a failure means for the forward it closes. Our rule over IPv6 is
// recorded with its pinhole, and goes with it.
Status UfwManager::ClosePort(const PortRequest& request)
{
    return StatusOf(Close(request.port, request.protocol, request.family));
}

UfwOutcome UfwManager::Close(int port, Protocol protocol, Family family)
{
    const std::string subject = std::to_string(port) + "/" + std::string(LowerName(protocol));
    // Rules we may not read are the helper's to check, as root.
    if (!RulesReadable()) return AskHelperToDelete(port, protocol, family);
    UfwDecision decision;
    Status read = ReadDecision(port, protocol, family, decision);
    std::vector<UfwRule> rules;
    if (read == Status::Ok) read = ReadRules(family == Family::Ipv4 ? files_.rules : files_.rules6, rules);
    if (read != Status::Ok) return UfwOutcome::Failed;
    // ufw keeps one rule per port, protocol and family, under the last comment given:
    // under our name it is ours. Any other rule stays; an IPv6 one is told of once. Ours
    // goes even behind a wider rule that decides first (an administrator's range): left,
    // it would let the port in again once that rule is narrowed.
    const std::string ours = OwnEntryName(port, protocol);
    if (decision.verdict != UfwVerdict::Undecided && decision.rule.comment != ours &&
        decision.ipv6 == (family == Family::Ipv6))
        Tell(sentence::UfwRuleNotOurs, {{"rule", Described(decision)}, {"subject", subject}});
    if (!HoldsOwnRule(rules, port, protocol, family, ours)) return UfwOutcome::NotThere;
    if (route_) return AskHelperToDelete(port, protocol, family);
    return Run(UfwDeleteCommand(port, protocol, family), "ufw delete");
}

std::string UfwManager::Ipv6Gap(int port, Protocol protocol)
{
    if (!enabled_) return {};
    const std::string subject = std::to_string(port) + "/" + std::string(LowerName(protocol));
    std::vector<UfwRule> ipv6;
    if (!RulesReadable() || ReadRules(files_.rules6, ipv6) != Status::Ok)
        return "its IPv6 rules for " + subject + " could not be read; to let it in, " +
               SudoLine(UfwAllowIpv6Command(port, protocol));
    switch (DecideIpv6(ipv6, port, protocol).verdict) {
    case UfwVerdict::LetIn: return {};
    case UfwVerdict::Refused: return "an administrator's rule refuses " + subject + " over IPv6, and stays";
    case UfwVerdict::Undecided: break;
    }
    return "no rule lets " + subject + " in over IPv6; to let it in, " + SudoLine(UfwAllowIpv6Command(port, protocol));
}

bool UfwManager::RulesReadable() const
{
    return !route_ || (::access(files_.rules.c_str(), R_OK) == 0 && ::access(files_.rules6.c_str(), R_OK) == 0);
}

std::optional<UfwOutcome> UfwManager::Decided(int port, Protocol protocol, Family family)
{
    if (!RulesReadable()) return std::nullopt;
    UfwDecision decision;
    if (ReadDecision(port, protocol, family, decision) != Status::Ok) return UfwOutcome::Failed;
    switch (decision.verdict) {
    case UfwVerdict::Undecided: return std::nullopt;
    case UfwVerdict::LetIn: return UfwOutcome::AlreadyOpen;
    case UfwVerdict::Refused: break;
    }
    ReportProblem("ufw's rule " + Described(decision) +
                  " stands: " + std::to_string(port) + "/" + std::string(LowerName(protocol)) + " not opened");
    return UfwOutcome::RuleStands;
}

Status UfwManager::ReadDecision(int port, Protocol protocol, Family family, UfwDecision& decision)
{
    std::vector<UfwRule> ipv4, ipv6;
    Status status = family == Family::Ipv4 ? ReadRules(files_.rules, ipv4) : Status::Ok;
    if (status == Status::Ok) status = ReadRules(files_.rules6, ipv6);
    if (status == Status::Ok)
        decision = family == Family::Ipv4 ? DecidePort(ipv4, ipv6, port, protocol) : DecideIpv6(ipv6, port, protocol);
    return status;
}

UfwOutcome UfwManager::Run(const std::vector<std::string>& command, const std::string& what)
{
    if (!Ready(what)) return UfwOutcome::Busy;
    return UfwRunOutcome(runner_(command, UfwEnvironment(), deadline_), what);
}

UfwOutcome UfwManager::AskHelper(int port, Protocol protocol, Family family, const std::string& cleanName)
{
    const std::string what = std::string("pkexec ") + kUfwHelperName;
    if (!Ready(what)) return UfwOutcome::Busy;
    return RunHelper(PkexecUfwAllowCommand(route_->helper, port, protocol, family, cleanName), what);
}

UfwOutcome UfwManager::AskHelperToDelete(int port, Protocol protocol, Family family)
{
    const std::string what = std::string("pkexec ") + kUfwHelperName + " delete";
    if (!Ready(what)) return UfwOutcome::Busy;
    return RunHelper(PkexecUfwDeleteCommand(route_->helper, port, protocol, family), what);
}

UfwOutcome UfwManager::RunHelper(const std::vector<std::string>& command, const std::string& what)
{
    if (!asksPassword_) return PkexecOutcome(runner_(command, UfwEnvironment(), deadline_), what);
    if (!PasswordTimeLeft()) {
        ReportProblem(what + ": no time left for a password");
        return UfwOutcome::NotInTime;
    }
    if (!passwordTold_) Tell(sentence::PasswordAsked);
    passwordTold_ = true;
    ProcessOutcome outcome;
    {
        const PasswordPause pause;
        outcome = runner_(command, UfwEnvironment(), pause.End());
    }
    if (outcome.end != ProcessOutcome::End::TimedOut) return PkexecOutcome(outcome, what);
    ReportProblem(what + ": the password was not given in time");
    return UfwOutcome::NotInTime;
}

std::string UfwManager::FinishCommand(int port, Protocol protocol, const std::string& cleanName) const
{
    // ufw's own command, which a person can read and follow; ufw itself keeps an
    // administrator's deny that decides the port first.
    return SudoLine(UfwAllowCommand(port, protocol, cleanName));
}

bool UfwManager::Ready(const std::string& what) const
{
    if (MillisecondsLeft(deadline_) > 0) return true;
    ReportProblem(what + ": no time left");
    return false;
}

} // namespace firewall
