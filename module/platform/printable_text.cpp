#include "platform/printable_text.h"

#include <algorithm>
#include <iterator>

#include "platform/utf8.h"

namespace {

struct Range {
    char32_t first, last;
};

constexpr Range kHidden[] = {
    {0x0, 0x1F},         {0x7F, 0x9F},       {0xAD, 0xAD},       {0x600, 0x605},     {0x61C, 0x61C},
    {0x6DD, 0x6DD},      {0x70F, 0x70F},     {0x890, 0x891},     {0x8E2, 0x8E2},     {0x180E, 0x180E},
    {0x200B, 0x200F},    {0x2028, 0x202E},   {0x2060, 0x2064},   {0x2066, 0x206F},   {0xD800, 0xDFFF},
    {0xFEFF, 0xFEFF},    {0xFFF9, 0xFFFB},   {0x110BD, 0x110BD}, {0x110CD, 0x110CD}, {0x13430, 0x1343F},
    {0x1BCA0, 0x1BCA3},  {0x1D173, 0x1D17A}, {0xE0001, 0xE0001}, {0xE0020, 0xE007F},
};

bool IsBlank(char32_t c) { return (c >= 0x9 && c <= 0xD) || c == 0x85 || c == 0x2028 || c == 0x2029; }

} // namespace

bool IsHiddenCharacter(char32_t c)
{
    return std::any_of(std::begin(kHidden), std::end(kHidden),
                       [c](const Range& range) { return range.first <= c && c <= range.last; });
}

std::string PrintableText(std::string_view utf8)
{
    std::string printable;
    printable.reserve(utf8.size());
    for (std::size_t at = 0; at < utf8.size();) {
        const char32_t c = NextCodePoint(utf8, at);
        AppendUtf8(printable, !IsHiddenCharacter(c) ? c : IsBlank(c) ? U' ' : kReplacementCharacter);
    }
    return printable;
}
