#include "wide_text.h"

namespace firewall {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool IsScalarValue(char32_t c) { return c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF); }

void AppendUtf8(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

// Length of the sequence a lead byte starts and the bits it carries; 0 when it starts none.
int SequenceLength(unsigned char lead, char32_t& bits)
{
    if (lead < 0x80) { bits = lead; return 1; }
    if ((lead & 0xE0) == 0xC0) { bits = lead & 0x1F; return 2; }
    if ((lead & 0xF0) == 0xE0) { bits = lead & 0x0F; return 3; }
    if ((lead & 0xF8) == 0xF0) { bits = lead & 0x07; return 4; }
    return 0;
}

} // namespace

std::string Utf8FromWide(const std::wstring& text)
{
    std::string out;
    for (const wchar_t unit : text) {
        const auto c = static_cast<char32_t>(unit);
        AppendUtf8(out, IsScalarValue(c) ? c : kReplacement);
    }
    return out;
}

std::wstring WideFromUtf8(const std::string& text)
{
    static constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    std::wstring out;
    std::size_t at = 0;
    while (at < text.size()) {
        char32_t c = 0;
        const int length = SequenceLength(static_cast<unsigned char>(text[at]), c);
        int taken = 1;
        while (length > 1 && taken < length && at + taken < text.size() &&
               (static_cast<unsigned char>(text[at + taken]) & 0xC0) == 0x80) {
            c = (c << 6) | (static_cast<unsigned char>(text[at + taken]) & 0x3F);
            ++taken;
        }
        const bool whole = length > 0 && taken == length && c >= kSmallest[length] && IsScalarValue(c);
        out.push_back(static_cast<wchar_t>(whole ? c : kReplacement));
        at += taken;
    }
    return out;
}

} // namespace firewall
