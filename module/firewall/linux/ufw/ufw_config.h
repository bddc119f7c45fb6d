// ufw.conf, read the way ufw reads it, for whether ufw is switched on.
#pragma once

#include <string>

namespace firewall {

// True when the last ENABLED setting says yes (any case, optionally in double quotes).
bool UfwConfigEnabled(const std::string& configText);

} // namespace firewall
