#pragma once

#include <string>
#include <vector>

// The machine's IPv4 addresses in report order; the single entry "ERROR" when the
// report could not be read.
std::vector<std::wstring> GetInternalIPs();

// `listed` as text, without the "ERROR" of a report that could not be read.
std::vector<std::string> AddressTexts(const std::vector<std::wstring>& listed);
