// Picks the IPv4 addresses out of an interface report shaped like ipconfig's.
#pragma once

#include <string>
#include <vector>

// For every line holding "IPv4", the text after the line's first ": ".
// A marked line without the separator contributes nothing.
std::vector<std::wstring> ParseAddressReport(const std::vector<std::wstring>& lines);
