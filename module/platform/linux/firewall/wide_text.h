// UTF-8 for the managers, wide text for COM.
#pragma once

#include <string>

namespace firewall {

// Code points that are not Unicode scalar values become U+FFFD.
std::string Utf8FromWide(const std::wstring& text);
// Malformed sequences become U+FFFD.
std::wstring WideFromUtf8(const std::string& text);

} // namespace firewall
