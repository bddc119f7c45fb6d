// Asks polkit, over the system bus, what a firewall manager will ask it before it
// lets us change the firewall.
#pragma once

#include "firewall_types.h"
#include "system_bus.h"
#include "platform/deadline.h"

namespace firewall {

enum class Interaction { None, Allowed };

// Ok when polkit lets this connection do `action`, AccessDenied when it says no.
// With Interaction::Allowed a desktop's authentication agent may ask the user first,
// and a cancelled or impossible question is a no. With Interaction::None, an answer
// that needs the user's password counts as yes: the change itself asks again,
// interactively. Without polkit only root may.
Status PolkitAllows(SystemBus& bus, const char* action, Interaction interaction, Deadline deadline);

} // namespace firewall
