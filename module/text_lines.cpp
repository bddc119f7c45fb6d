#include "text_lines.h"

std::wstring WidenBytes(std::string_view bytes)
{
    std::wstring text;
    text.reserve(bytes.size());
    for (const char byte : bytes) text.push_back(static_cast<wchar_t>(static_cast<unsigned char>(byte)));
    return text;
}

std::string NarrowToBytes(std::wstring_view text)
{
    std::string bytes;
    bytes.reserve(text.size());
    for (const wchar_t ch : text) {
        const auto code = static_cast<unsigned long>(ch);
        bytes.push_back(code <= 0xFF ? static_cast<char>(code) : '?');
    }
    return bytes;
}

std::vector<std::wstring> SplitLines(std::string_view bytes)
{
    std::vector<std::wstring> lines;
    for (;;) {
        const std::size_t end = bytes.find('\n');
        std::string_view line = bytes.substr(0, end);
        if (end != std::string_view::npos && !line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.push_back(WidenBytes(line));
        if (end == std::string_view::npos) return lines;
        bytes.remove_prefix(end + 1);
    }
}
