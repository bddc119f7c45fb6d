#include "firewall/linux/ufw/ufw_outcome.h"

#include <array>

#include "diagnostics.h"

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
    case UfwOutcome::Busy: return Status::TimedOut;
    case UfwOutcome::NotAllowed:
    case UfwOutcome::NoAgent:
    case UfwOutcome::Cancelled: return Status::AccessDenied;
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

void TellOutcome(UfwOutcome outcome, int port, const std::string& finish)
{
    switch (outcome) {
    case UfwOutcome::Done:
    case UfwOutcome::AlreadyOpen: return;
    case UfwOutcome::RuleStands:
        return Headline("A firewall rule of this machine's administrator blocks " + Port(port) +
                        ", and it stays as it is. Ask an administrator to let the port in, or choose another port.");
    case UfwOutcome::Busy:
        return Headline("Time ran out before the firewall (ufw) let " + Port(port) +
                        " in; another program may have been changing it. Try again in a moment.");
    case UfwOutcome::Unreadable:
        return Headline("The firewall (ufw) could not be read; the details below say why. "
                        "Ask an administrator to look at ufw.");
    case UfwOutcome::Failed:
        return Headline("The firewall (ufw) did not let " + Port(port) +
                        " in; the details below say why. Ask an administrator to look at ufw.");
    case UfwOutcome::NotAllowed:
        return Headline("You are not allowed to change the firewall; ask an administrator.");
    case UfwOutcome::NoAgent:
        return Headline("No password dialog runs on this desktop to let you change the firewall. "
                        "An administrator can finish the job with: " + finish);
    case UfwOutcome::Cancelled:
        return Headline("The password dialog was closed, so the firewall was not changed. "
                        "Press Forward again to let " + Port(port) + " in.");
    }
}

} // namespace firewall
