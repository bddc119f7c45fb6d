#include "result_file.h"

#include <fstream>

#include "bounded_read.h"
#include "text_lines.h"

namespace {

// The window writes five short lines; anything past this is not a command of ours.
constexpr std::size_t kCommandFileLimit = 64 * 1024;

void ReplaceResultFile(const std::vector<std::string>& lines)
{
    // Text mode: the platform's own line end goes to disk.
    std::ofstream out(kResultFileName, std::ios::out | std::ios::trunc);
    if (!out) return;
    for (const std::string& line : lines) out << line << '\n' << std::flush;
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
    // Binary, so a command file written on Windows reads the same everywhere;
    // SplitLines drops the CR of a CR LF.
    std::ifstream in(kCommandFileName, std::ios::in | std::ios::binary);
    const std::optional<std::string> bytes = ReadAtMost(in, kCommandFileLimit);
    if (!bytes) return std::nullopt;
    return SplitLines(*bytes);
}
