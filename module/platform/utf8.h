// COM texts are wide (whole code points in a 32-bit wchar_t); the libraries and
// programs behind our classes speak UTF-8.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

inline constexpr char32_t kReplacementCharacter = 0xFFFD;

// The code point of the UTF-8 sequence at `at`, moving `at` past it. A malformed, cut
// or overlong sequence, or a surrogate, is U+FFFD; a byte that cannot continue the
// sequence is left to start the next.
char32_t NextCodePoint(std::string_view text, std::size_t& at);

// `c` in UTF-8; what is no Unicode scalar value as U+FFFD.
void AppendUtf8(std::string& out, char32_t c);

// Invalid code points and malformed bytes become U+FFFD.
std::string Utf8FromWide(std::wstring_view text);
std::wstring WideFromUtf8(std::string_view text);
