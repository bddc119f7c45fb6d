#include "module_output.h"

#include <QProcess>
#include <QRegularExpression>
#include <QStringList>
#include <QTextCodec>

#include <algorithm>

namespace {

const QString headlineMarker = QStringLiteral(">> ");
const QString cutNote = QStringLiteral("[more output not shown]");
const QString developerHeading = QStringLiteral("For developers:");

void keepBounded(QByteArray &kept, bool &cut, const QByteArray &more)
{
    const int room = maxModuleOutputBytes - kept.size();
    kept.append(more.left(room));
    cut = cut || more.size() > room;
}

bool isKept(QChar character)
{
    return character == QLatin1Char('\n') || character.category() != QChar::Other_Control;
}

// Bytes as lines of plain text.
QStringList plainLines(const QByteArray &bytes)
{
    QString text = QTextCodec::codecForLocale()->toUnicode(bytes);
    text.remove(QLatin1Char('\r'));
    QString kept;
    kept.reserve(text.size());
    for (const QChar character : text)
        if (isKept(character))
            kept.append(character);
    QStringList lines = kept.split(QLatin1Char('\n'));
    if (lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

bool isReachableLine(const QString &line)
{
    static const QRegularExpression reachable(QStringLiteral("^Reachable at \\d{1,3}(\\.\\d{1,3}){3}:\\d{1,5}$"));
    return reachable.match(line).hasMatch();
}

// The box's words split from the rest of standard error: the first distinct headlines,
// and every other line with the headlines beyond those.
struct SortedErrors {
    QStringList headlines;
    QStringList others;
};

SortedErrors sortErrors(const QStringList &lines)
{
    SortedErrors sorted;
    for (const QString &line : lines) {
        if (!line.startsWith(headlineMarker)) {
            sorted.others.append(line);
            continue;
        }
        const QString headline = line.mid(headlineMarker.size());
        if (sorted.headlines.contains(headline))
            continue;
        if (sorted.headlines.size() < maxHeadlines)
            sorted.headlines.append(headline);
        else
            sorted.others.append(headline);
    }
    return sorted;
}

QString joinedLines(QStringList lines, bool cut)
{
    if (cut)
        lines.append(cutNote);
    return lines.isEmpty() ? QString() : lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

} // namespace

ModuleOutput::ModuleOutput(QProcess &module)
{
    connect(&module, &QProcess::readyReadStandardError, this,
            [this, &module] { keepBounded(errors, errorsCut, module.readAllStandardError()); });
    connect(&module, &QProcess::readyReadStandardOutput, this,
            [this, &module] { keepBounded(output, outputCut, module.readAllStandardOutput()); });
}

QString ModuleOutput::informativeText(bool succeeded, const QString &leftOut) const
{
    const SortedErrors sorted = sortErrors(plainLines(errors));
    QStringList shown;
    if (succeeded) {
        const auto reachable = std::find_if(sorted.others.cbegin(), sorted.others.cend(), isReachableLine);
        if (reachable != sorted.others.cend())
            shown.append(*reachable);
    }
    for (const QString &headline : sorted.headlines)
        if (!shown.contains(headline) && (leftOut.isEmpty() || !headline.startsWith(leftOut)))
            shown.append(headline);
    return shown.join(QLatin1Char('\n'));
}

QString ModuleOutput::details() const
{
    const QString people = joinedLines(sortErrors(plainLines(errors)).others, errorsCut);
    const QString developers = joinedLines(plainLines(output), outputCut);
    if (developers.isEmpty())
        return people;
    return people + (people.isEmpty() ? QString() : QStringLiteral("\n")) + developerHeading + QLatin1Char('\n') +
           developers;
}

bool ModuleOutput::saidHeadline(const QString &start) const
{
    for (const QString &line : plainLines(errors))
        if (line.startsWith(headlineMarker + start))
            return true;
    return false;
}
