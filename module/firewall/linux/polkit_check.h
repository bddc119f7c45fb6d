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

// As AskPolkit with Interaction::Allowed, where a desktop's agent asks a person for a
// password: the run's deadline waits meanwhile (PasswordPause). A question past the
// password wait is withdrawn, and TimedOut.
Status AskPolkitWithPrompt(SystemBus& bus, const char* action, Authorization& answer);

// Ok when polkit lets this connection do `action`, asked without the user, AccessDenied
// when it says no. `asksPassword`: polkit lets it only once a person gives a password,
// which the change itself then asks for.
Status PolkitAllows(SystemBus& bus, const char* action, Deadline deadline, bool& asksPassword);

} // namespace firewall
