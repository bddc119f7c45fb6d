// The window's reading of the result file, on any bytes the module (or anyone who can
// write to its directory) may leave there.
#include <QBuffer>
#include <QByteArray>
#include <QStringList>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "fuzz_check.h"
#include "result_lines.h"

namespace {

// The text "0" and then the line's end (LF, CR LF or the file's end), after an
// optional byte-order mark that the decoder skips.
bool StartsWithSuccessLine(QByteArray bytes)
{
    if (bytes.startsWith("\xEF\xBB\xBF")) bytes.remove(0, 3);
    return bytes == "0" || bytes.startsWith("0\n") || bytes.startsWith("0\r\n");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<int>(size));
    QBuffer file(&bytes);
    FUZZ_REQUIRE(file.open(QIODevice::ReadOnly));
    const std::optional<QStringList> lines = readResultLines(file);

    if (size == 0) FUZZ_REQUIRE(lines && lines->isEmpty());
    if (!lines) return 0;  // no answer of the module: the window says it could not read one
    FUZZ_REQUIRE(lines->size() <= std::min(maxResultLines, bytes.count('\n') + 1));
    for (const QString& line : *lines) {
        FUZZ_REQUIRE(line.size() <= maxResultLineBytes);
        FUZZ_REQUIRE(std::none_of(line.begin(), line.end(),
                                  [](QChar character) { return character.category() == QChar::Other_Control; }));
    }
    // Success is a first line of exactly "0"; nothing else may read as it.
    if (!lines->isEmpty() && lines->first() == QLatin1String("0")) FUZZ_REQUIRE(StartsWithSuccessLine(bytes));
    return 0;
}
