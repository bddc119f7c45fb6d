#include "platform/utf8.h"

std::string Utf8FromWide(std::wstring_view text)
{
    static_assert(sizeof(wchar_t) == 4, "wide texts hold whole code points here");
    std::string out;
    out.reserve(text.size());
    for (const wchar_t c : text) AppendUtf8(out, static_cast<char32_t>(c));
    return out;
}

std::wstring WideFromUtf8(std::string_view text)
{
    std::wstring out;
    out.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) out += static_cast<wchar_t>(NextCodePoint(text, at));
    return out;
}
