// Asks polkit, over the system bus, what a firewall manager will ask it before it
// lets us change the firewall.
#pragma once

#include "firewall/firewall_types.h"
#include "firewall/linux/system_bus.h"
#include "platform/deadline.h"

namespace firewall {

enum class Interaction { None, Allowed };

// What polkit said of one action for this connection.
enum class Authorization {
    Yes,
    NeedsPassword,  // asked without the user: yes once the user authenticates
    No,
    NotGiven,       // asked with the user's say, but no prompt could be shown
    PromptClosed,   // asked with the user's say, and the user closed the prompt
};

// Ok with polkit's answer, else why it could not be had (a message is written). With
// Interaction::Allowed a desktop's authentication agent may ask the user first.
// Without polkit only root may.
Status AskPolkit(SystemBus& bus, const char* action, Interaction interaction, Deadline deadline,
                 Authorization& answer);

// Ok when polkit lets this connection do `action`, AccessDenied when it says no. With
// Interaction::None, an answer that needs the user's password counts as yes: the
// change itself asks again, interactively.
Status PolkitAllows(SystemBus& bus, const char* action, Interaction interaction, Deadline deadline);

} // namespace firewall
