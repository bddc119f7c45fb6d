#pragma once

#include <functional>
#include <string>
#include <vector>

#include "forward/varneth_platform.h"

// What Varneth stands on, over the run's gateway session: the machine's, or a test's.
using PlatformFor = std::function<VarnethPlatform(gateway::GatewaySession&)>;

// The "kavro" command: lines "kavro", address, port, TCP flag, UDP flag. Writes
// "0" or the reason of the failure as the one line of the result file. `addresses`:
// this machine's, as listed for the window; an address not among them is another device's.
void RunForwardCommand(const std::vector<std::wstring>& commandLines, const std::vector<std::wstring>& addresses,
                       const PlatformFor& platformFor = MachinePlatform);
