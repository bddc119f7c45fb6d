// Byte text <-> wide text as both files and the address report use it: one byte
// per character, lines split at LF with a CR before it dropped.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// Every byte becomes the character of the same value.
std::wstring WidenBytes(std::string_view bytes);

// Every character becomes one byte; characters above 0xFF, which no byte can
// carry, become '?'.
std::string NarrowToBytes(std::wstring_view text);

// Splits at each LF and drops one CR before it. A text that ends with a line end
// gives a last, empty line; an empty text gives one empty line.
std::vector<std::wstring> SplitLines(std::string_view bytes);
