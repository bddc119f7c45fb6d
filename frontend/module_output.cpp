#include "module_output.h"

#include "module_ids.h"

#include <QProcess>
#include <QRegularExpression>
#include <QStringList>
#include <QTextCodec>

#include <algorithm>

namespace {

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

QList<ModuleLine> moduleLines(const QByteArray &bytes)
{
    QList<ModuleLine> lines;
    for (const QString &line : plainLines(bytes))
        lines.append(readModuleLine(line));
    return lines;
}

// The box's words split from the rest of standard error: the first distinct headlines
// (with their ids), and every other line with the headlines beyond those.
struct SortedErrors {
    QList<ModuleLine> headlines;
    QList<ModuleLine> others;
};

bool sameText(const QList<ModuleLine> &lines, const QString &text)
{
    return std::any_of(lines.cbegin(), lines.cend(), [&text](const ModuleLine &line) { return line.text == text; });
}

SortedErrors sortErrors(const QList<ModuleLine> &lines)
{
    SortedErrors sorted;
    for (const ModuleLine &line : lines) {
        if (!line.headline)
            sorted.others.append(line);
        else if (sameText(sorted.headlines, line.text))
            continue;
        else if (sorted.headlines.size() < maxHeadlines)
            sorted.headlines.append(line);
        else
            sorted.others.append(line);
    }
    return sorted;
}

QStringList textsOf(const QList<ModuleLine> &lines)
{
    QStringList texts;
    for (const ModuleLine &line : lines)
        texts.append(line.text);
    return texts;
}

QString joinedLines(QStringList lines, bool cut)
{
    if (cut)
        lines.append(cutNote);
    return lines.isEmpty() ? QString() : lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

} // namespace

ModuleLine readModuleLine(const QString &line)
{
    static const QRegularExpression tagged(QStringLiteral("^(>>?)\\[([a-z0-9]+(?:-[a-z0-9]+)*)\\] (.*)$"));
    const QRegularExpressionMatch match = tagged.match(line);
    if (match.hasMatch())
        return {match.captured(2), match.capturedLength(1) == 2, match.captured(3)};
    return {QString(), false, line};
}

ModuleOutput::ModuleOutput(QProcess &module)
{
    connect(&module, &QProcess::readyReadStandardError, this, [this, &module] {
        keepBounded(errors, errorsCut, module.readAllStandardError());
        if (asked || !said(moduleid::passwordAsked))
            return;
        asked = true;
        if (onAsked)
            onAsked();
    });
    connect(&module, &QProcess::readyReadStandardOutput, this,
            [this, &module] { keepBounded(output, outputCut, module.readAllStandardOutput()); });
}

QString ModuleOutput::informativeText(bool succeeded, const char *leftOut) const
{
    const SortedErrors sorted = sortErrors(moduleLines(errors));
    QStringList shown;
    if (succeeded) {
        const auto reachable = std::find_if(sorted.others.cbegin(), sorted.others.cend(),
                                            [](const ModuleLine &line) { return line.id == moduleid::reachable; });
        if (reachable != sorted.others.cend())
            shown.append(reachable->text);
    }
    for (const ModuleLine &headline : sorted.headlines)
        if (!shown.contains(headline.text) && (leftOut == nullptr || headline.id != QLatin1String(leftOut)))
            shown.append(headline.text);
    return shown.join(QLatin1Char('\n'));
}

QString ModuleOutput::details() const
{
    const QString people = joinedLines(textsOf(sortErrors(moduleLines(errors)).others), errorsCut);
    const QString developers = joinedLines(plainLines(output), outputCut);
    if (developers.isEmpty())
        return people;
    return people + (people.isEmpty() ? QString() : QStringLiteral("\n")) + developerHeading + QLatin1Char('\n') +
           developers;
}

bool ModuleOutput::said(const char *id) const
{
    const QList<ModuleLine> lines = moduleLines(errors);
    return std::any_of(lines.cbegin(), lines.cend(),
                       [id](const ModuleLine &line) { return line.id == QLatin1String(id); });
}
