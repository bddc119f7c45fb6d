#pragma once

#include <string>
#include <vector>

// The machine's IPv4 addresses in report order; the single entry "ERROR" when the
// report could not be read.
std::vector<std::wstring> GetInternalIPs();
