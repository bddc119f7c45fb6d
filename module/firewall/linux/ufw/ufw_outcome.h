// What an attempt to let a port in through ufw came to, as the helper's exit status
// carries it back to Kavro, and the one sentence the user reads for each failure.
#pragma once

#include <string>

#include "firewall/firewall_types.h"

namespace firewall {

enum class UfwOutcome {
    Done,         // ufw did what it was asked: our rule added, or its status read
    AlreadyOpen,  // a rule already there lets the port in: nothing touched
    RuleStands,   // an administrator's deny or reject is there: nothing added
    Busy,         // time ran out first: another ufw holding its lock, most likely
    Unreadable,   // ufw's settings could not be read
    Failed,       // ufw, or the helper, failed for a reason the details give
    NotAllowed,   // polkit says no to this user
    NoAgent,      // polkit would ask for a password, but no desktop agent runs to ask
    Cancelled,    // the user closed the password dialog
    NotInTime,    // the password was not given within the time a person gets for it
    NotThere,     // close: no rule under our name for the port, so none removed
};

Status StatusOf(UfwOutcome outcome);

// The helper's exit status for each outcome it can reach itself, and back. Statuses
// the helper never uses (pkexec's 126 and 127 among them) read as Failed; so does 2,
// the helper's refusal of its arguments.
int HelperExitStatus(UfwOutcome outcome);
UfwOutcome OutcomeOfHelperExit(int exitStatus);

// The headline for a failure: the port named, not the protocol, so that TCP and UDP
// failing alike show one sentence; the port is 0 where none is asked for yet. Nothing
// for Done and AlreadyOpen, nor for NoAgent: what is left to an administrator is told
// once, for every port.
void TellOutcome(UfwOutcome outcome, int port);

} // namespace firewall
