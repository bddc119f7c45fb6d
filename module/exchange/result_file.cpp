#include "exchange/result_file.h"

#include "exchange/exchange_file.h"
#include "text_lines.h"

namespace {

// The window writes five short lines; anything past this is not a command of ours.
constexpr std::size_t kCommandFileLimit = 64 * 1024;

void ReplaceResultFile(const std::vector<std::string>& lines)
{
    std::string text;
    for (const std::string& line : lines) text += line + '\n';
    ReplaceExchangeFile(kResultFileName, text);
}

} // namespace

void writeResultText(const std::string& text) { ReplaceResultFile({text}); }

void writeResultLines(std::vector<std::wstring> lines)
{
    std::vector<std::string> bytes;
    bytes.reserve(lines.size());
    for (const std::wstring& line : lines) bytes.push_back(NarrowToBytes(line));
    ReplaceResultFile(bytes);
}

std::optional<std::vector<std::wstring>> readCommandLines()
{
    // Read as bytes, so a command file written on Windows reads the same everywhere;
    // SplitLines drops the CR of a CR LF.
    const std::optional<std::string> bytes = ReadExchangeFile(kCommandFileName, kCommandFileLimit);
    if (!bytes) return std::nullopt;
    return SplitLines(*bytes);
}
