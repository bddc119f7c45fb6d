#pragma once

#include <string>
#include <vector>

#include "firewall/firewall_manager.h"

// The "kavro" command: lines "kavro", address, port, TCP flag, UDP flag. Writes
// "0" or the reason of the failure as the one line of the result file. Ports are let
// in through `firewall`: the machine's, unless told.
void RunForwardCommand(const std::vector<std::wstring>& commandLines,
                       const firewall::FirewallFactory& firewall = firewall::OpenMachineFirewall);
