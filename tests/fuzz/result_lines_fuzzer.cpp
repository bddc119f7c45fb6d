// The window's reading of the result file, on any bytes the module (or anyone who can
// write to its directory) may leave there.
#include <QBuffer>
#include <QByteArray>
#include <QStringList>

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "fuzz_check.h"
#include "result_lines.h"

namespace {

// The text "0" and then the line's end. Text mode drops every CR, the stream skips a
// byte-order mark, and an unfinished character at the very end decodes to nothing.
bool StartsWithSuccessLine(QByteArray bytes)
{
    bytes.replace('\r', QByteArray());
    if (bytes.startsWith("\xEF\xBB\xBF")) bytes.remove(0, 3);
    if (!bytes.startsWith('0')) return false;
    const QByteArray rest = bytes.mid(1);
    return rest.isEmpty() || rest.startsWith('\n') ||
           std::all_of(rest.begin(), rest.end(), [](char byte) { return static_cast<unsigned char>(byte) >= 0x80; });
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<int>(size));
    QBuffer file(&bytes);
    FUZZ_REQUIRE(file.open(QIODevice::ReadOnly | QIODevice::Text));
    const QStringList lines = readResultLines(file);

    if (size == 0) FUZZ_REQUIRE(lines.isEmpty());
    FUZZ_REQUIRE(lines.size() <= bytes.count('\n') + bytes.count('\r') + 1);
    for (const QString& line : lines) FUZZ_REQUIRE(!line.contains(QLatin1Char('\n')));
    // Success is a first line of exactly "0"; nothing else may read as it.
    if (!lines.isEmpty() && lines.first() == QLatin1String("0"))
        FUZZ_REQUIRE(StartsWithSuccessLine(bytes));
    return 0;
}
