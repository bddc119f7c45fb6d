#include "firewall/linux/ufw/ufw_outcome.h"

#include <array>

#include "firewall/sentences.h"

namespace firewall {
namespace {

// Indexed by exit status: 2 is the helper's refusal of its arguments, and pkexec keeps
// 126 and 127 for itself.
constexpr std::array<UfwOutcome, 6> kHelperExits{UfwOutcome::Done,        UfwOutcome::Failed,     UfwOutcome::Failed,
                                                 UfwOutcome::AlreadyOpen, UfwOutcome::RuleStands, UfwOutcome::Busy};

std::string Port(int port) { return "port " + std::to_string(port); }

} // namespace

Status StatusOf(UfwOutcome outcome)
{
    switch (outcome) {
    case UfwOutcome::Done: return Status::Ok;
    case UfwOutcome::AlreadyOpen: return Status::AlreadyOpen;
    case UfwOutcome::NotThere: return Status::NotFound;
    case UfwOutcome::Busy: return Status::TimedOut;
    case UfwOutcome::NotAllowed:
    case UfwOutcome::NoAgent:
    case UfwOutcome::Cancelled:
    case UfwOutcome::NotInTime: return Status::AccessDenied;
    case UfwOutcome::RuleStands:
    case UfwOutcome::Unreadable:
    case UfwOutcome::Failed: break;
    }
    return Status::Failed;
}

int HelperExitStatus(UfwOutcome outcome)
{
    for (std::size_t status = 0; status < kHelperExits.size(); ++status)
        if (kHelperExits[status] == outcome) return static_cast<int>(status);
    return HelperExitStatus(UfwOutcome::Failed);
}

UfwOutcome OutcomeOfHelperExit(int exitStatus)
{
    if (exitStatus < 0 || exitStatus >= static_cast<int>(kHelperExits.size())) return UfwOutcome::Failed;
    return kHelperExits[static_cast<std::size_t>(exitStatus)];
}

void TellOutcome(UfwOutcome outcome, int port)
{
    switch (outcome) {
    case UfwOutcome::Done:
    case UfwOutcome::AlreadyOpen:
    case UfwOutcome::NotThere:
    case UfwOutcome::NoAgent: return;
    case UfwOutcome::RuleStands:
        Headline(sentence::UfwRuleStands, {{"subject", Port(port)}});
        return;
    case UfwOutcome::Busy:
        Headline(sentence::UfwBusy, {{"subject", Port(port)}});
        return;
    case UfwOutcome::Unreadable:
        Headline(sentence::UfwUnreadable);
        return;
    case UfwOutcome::Failed:
        Headline(sentence::UfwFailed, {{"subject", Port(port)}});
        return;
    case UfwOutcome::NotAllowed:
        Headline(sentence::NotAllowed);
        return;
    case UfwOutcome::Cancelled:
        Headline(sentence::UfwCancelled, {{"subject", Port(port)}});
        return;
    case UfwOutcome::NotInTime:
        Headline(sentence::UfwPasswordNotGiven, {{"subject", Port(port)}});
        return;
    }
}

} // namespace firewall
