// COM texts are wide; the gateway library speaks UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace gateway {

// Invalid code points and malformed bytes become U+FFFD.
std::string ToUtf8(std::wstring_view text);
std::wstring FromUtf8(std::string_view text);

} // namespace gateway
