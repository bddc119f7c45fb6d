// The window's reading of the result file, on any bytes the module (or anyone who can
// write to its directory) may leave there.
#include <QBuffer>
#include <QStringList>
#include <QVector>

#include <algorithm>

#include "fuzz_check.h"
#include "result_lines.h"

FUZZ_HARNESS(input)
{
    QByteArray bytes(input.data(), static_cast<int>(input.size()));
    QBuffer file(&bytes);
    FUZZ_REQUIRE(file.open(QIODevice::ReadOnly));
    const std::optional<QStringList> lines = readResultLines(file);
    if (input.empty()) FUZZ_REQUIRE(lines && lines->isEmpty());
    // Read for the list, an odd character spoils only itself: every line an answer has,
    // none with a character that hides or reorders the text around it.
    FUZZ_REQUIRE(file.seek(0));
    const std::optional<QStringList> replaced = readResultLines(file, OddCharacters::Replace);
    if (lines) FUZZ_REQUIRE(replaced && replaced->size() == lines->size());
    const auto isOdd = [](uint c) {
        const QChar::Category category = QChar::category(c);
        return (category == QChar::Other_Control && c != '\t') || category == QChar::Other_Format ||
               category == QChar::Separator_Line || category == QChar::Separator_Paragraph;
    };
    for (const QString& line : replaced.value_or(QStringList())) {
        const QVector<uint> characters = line.toUcs4();
        FUZZ_REQUIRE(std::none_of(characters.begin(), characters.end(), isOdd));
    }
    if (!lines) return;  // no answer of the module: the window says it could not read one
    FUZZ_REQUIRE(lines->size() <= std::min(maxResultLines, bytes.count('\n') + 1));
    // A tab stays: it separates the fields of a listed port.
    const auto isControl = [](QChar c) { return c.category() == QChar::Other_Control && c != QLatin1Char('\t'); };
    for (const QString& line : *lines)
        FUZZ_REQUIRE(line.size() <= maxResultLineBytes && std::none_of(line.begin(), line.end(), isControl));
    // Success is read from, and only from, a first line of exactly "0", then LF, CR LF or the end, after a BOM or not.
    if (bytes.startsWith("\xEF\xBB\xBF")) bytes.remove(0, 3);
    const bool success = bytes == "0" || bytes.startsWith("0\n") || bytes.startsWith("0\r\n");
    if (!lines->isEmpty()) FUZZ_REQUIRE((lines->first() == QLatin1String("0")) == success);
}
