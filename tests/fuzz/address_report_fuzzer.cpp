// The interface report, from raw capture bytes to the address list: line splitting,
// byte widening and the "IPv4" parse.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "address_report.h"
#include "fuzz_check.h"
#include "text_lines.h"

namespace {

std::size_t Count(std::string_view text, std::string_view piece)
{
    std::size_t count = 0;
    for (std::size_t at = text.find(piece); at != std::string_view::npos; at = text.find(piece, at + 1)) ++count;
    return count;
}

bool EndsWith(const std::wstring& text, const std::wstring& tail)
{
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// Each entry is, in order, the tail after the first ": " of its own marked line.
void CheckEntriesComeFromMarkedLines(const std::vector<std::wstring>& lines, const std::vector<std::wstring>& entries)
{
    std::size_t next = 0;
    for (const std::wstring& entry : entries) {
        bool found = false;
        for (; next < lines.size() && !found; ++next) {
            const std::wstring& line = lines[next];
            found = line.find(L"IPv4") != std::wstring::npos && EndsWith(line, L": " + entry) &&
                    line.find(L": ") == line.size() - entry.size() - 2;
        }
        FUZZ_REQUIRE(found);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    FUZZ_REQUIRE(NarrowToBytes(WidenBytes(bytes)) == bytes);

    const std::vector<std::wstring> lines = SplitLines(bytes);
    FUZZ_REQUIRE(lines.size() == Count(bytes, "\n") + 1);
    std::size_t characters = 0;
    for (const std::wstring& line : lines) {
        FUZZ_REQUIRE(line.find(L'\n') == std::wstring::npos);
        characters += line.size();
    }
    // Only the line feeds and the one CR before each are dropped.
    FUZZ_REQUIRE(characters == size - Count(bytes, "\n") - Count(bytes, "\r\n"));

    const std::vector<std::wstring> entries = ParseAddressReport(lines);
    CheckEntriesComeFromMarkedLines(lines, entries);
    return 0;
}
