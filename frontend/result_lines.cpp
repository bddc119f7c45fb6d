#include "result_lines.h"

#include <QIODevice>
#include <QTextCodec>
#include <QTextDecoder>
#include <QVector>

#include <algorithm>

namespace {

// A tab separates the fields of a listed port.
bool isControl(QChar character)
{
    return character.category() == QChar::Other_Control && character != QLatin1Char('\t');
}

// Also what hides or reorders the text around it.
bool isOdd(uint character)
{
    switch (QChar::category(character)) {
    case QChar::Other_Control: return character != '\t';
    case QChar::Other_Format:
    case QChar::Other_Surrogate:
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph: return true;
    default: return false;
    }
}

// Each line decoded on its own, so a character cut off at one line's end spoils no other;
// what is no text becomes U+FFFD there.
QString replacedOdd(QTextCodec &codec, const QByteArray &bytes)
{
    QVector<uint> characters = codec.toUnicode(bytes).toUcs4();
    std::replace_if(characters.begin(), characters.end(), isOdd, uint(QChar::ReplacementCharacter));
    return QString::fromUcs4(characters.constData(), characters.size());
}

// One line without its end; nothing when it is too long or is refused as no text.
std::optional<QString> readTextLine(QIODevice &file, QTextDecoder &decoder, OddCharacters odd)
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
    if (odd == OddCharacters::Replace)
        return replacedOdd(*QTextCodec::codecForLocale(), bytes);
    const QString line = decoder.toUnicode(bytes);
    // A character cut off at the line end is as broken as an invalid one.
    if (decoder.hasFailure() || decoder.needsMoreData() || std::any_of(line.begin(), line.end(), isControl))
        return std::nullopt;
    return line;
}

} // namespace

std::optional<QStringList> readResultLines(QIODevice &file, OddCharacters odd)
{
    // One decoder for the whole file, so a byte-order mark is skipped at its start only.
    QTextDecoder decoder(QTextCodec::codecForLocale());
    QStringList lines;
    while (!file.atEnd()) {
        if (lines.size() == maxResultLines)
            return std::nullopt;
        std::optional<QString> line = readTextLine(file, decoder, odd);
        if (!line)
            return std::nullopt;
        lines.append(*line);
    }
    return lines;
}
