// The interface report, from raw capture bytes to the address list: line splitting,
// byte widening and the "IPv4" parse.
#include <algorithm>

#include "addresses/address_report.h"
#include "fuzz_check.h"
#include "text_lines.h"

namespace {

std::size_t Count(std::string_view text, std::string_view piece)
{
    std::size_t count = 0;
    for (std::size_t at = text.find(piece); at != std::string_view::npos; at = text.find(piece, at + 1)) ++count;
    return count;
}

} // namespace

FUZZ_HARNESS(bytes)
{
    FUZZ_REQUIRE(NarrowToBytes(WidenBytes(bytes)) == bytes);

    const std::vector<std::wstring> lines = SplitLines(bytes);
    FUZZ_REQUIRE(lines.size() == Count(bytes, "\n") + 1);
    std::size_t characters = 0;
    for (const std::wstring& line : lines) characters += line.size();
    // Only the line feeds and the one CR before each are dropped.
    FUZZ_REQUIRE(characters == bytes.size() - Count(bytes, "\n") - Count(bytes, "\r\n"));

    // Each entry is, in order, the tail after the first ": " of a line of its own that says "IPv4".
    auto line = lines.begin();
    for (const std::wstring& entry : ParseAddressReport(lines)) {
        line = std::find_if(line, lines.end(), [&entry](const std::wstring& text) {
            const std::size_t colon = text.find(L": ");
            return text.find(L"IPv4") != std::wstring::npos && colon != std::wstring::npos && text.compare(colon + 2, std::wstring::npos, entry) == 0;
        });
        FUZZ_REQUIRE(line != lines.end());
        ++line;
    }
}
