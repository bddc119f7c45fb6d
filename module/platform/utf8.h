// COM texts are wide (whole code points in a 32-bit wchar_t); the libraries and
// programs behind our classes speak UTF-8.
#pragma once

#include <string>
#include <string_view>

// Invalid code points and malformed bytes become U+FFFD.
std::string Utf8FromWide(std::wstring_view text);
std::wstring WideFromUtf8(std::string_view text);
