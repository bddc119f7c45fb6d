#pragma once

#include <string>
#include <vector>

// The "kavro" command: lines "kavro", address, port, TCP flag, UDP flag. Writes
// "0" or the reason of the failure as the one line of the result file.
void RunForwardCommand(const std::vector<std::wstring>& commandLines);
