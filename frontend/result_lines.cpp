#include "result_lines.h"

#include <QIODevice>
#include <QTextCodec>
#include <QTextDecoder>

#include <algorithm>

namespace {

// A tab separates the fields of a listed port.
bool isControl(QChar character)
{
    return character.category() == QChar::Other_Control && character != QLatin1Char('\t');
}

// One line without its end; nothing when it is too long or is no text.
std::optional<QString> readTextLine(QIODevice &file, QTextDecoder &decoder)
{
    // Room for the longest line and CR LF; readLine keeps one byte for a terminator.
    QByteArray bytes = file.readLine(maxResultLineBytes + 3);
    if (bytes.isEmpty())
        return std::nullopt; // a failed read: the file has not reached its end
    if (bytes.endsWith('\n')) {
        bytes.chop(1);
        if (bytes.endsWith('\r'))
            bytes.chop(1);
    }
    // Also a line that goes on past what was read.
    if (bytes.size() > maxResultLineBytes)
        return std::nullopt;
    const QString line = decoder.toUnicode(bytes);
    // A character cut off at the line end is as broken as an invalid one.
    if (decoder.hasFailure() || decoder.needsMoreData() || std::any_of(line.begin(), line.end(), isControl))
        return std::nullopt;
    return line;
}

} // namespace

std::optional<QStringList> readResultLines(QIODevice &file)
{
    // One decoder for the whole file, so a byte-order mark is skipped at its start only.
    QTextDecoder decoder(QTextCodec::codecForLocale());
    QStringList lines;
    while (!file.atEnd()) {
        if (lines.size() == maxResultLines)
            return std::nullopt;
        std::optional<QString> line = readTextLine(file, decoder);
        if (!line)
            return std::nullopt;
        lines.append(*line);
    }
    return lines;
}
