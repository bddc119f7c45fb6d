#include "module_output.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTextCodec>

namespace {

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

// Bytes as the details show them.
QString plainModuleText(const QByteArray &bytes, bool cut)
{
    QString text = QTextCodec::codecForLocale()->toUnicode(bytes);
    text.remove(QLatin1Char('\r'));
    QString kept;
    kept.reserve(text.size());
    for (const QChar character : text)
        if (isKept(character))
            kept.append(character);
    if (!kept.isEmpty() && !kept.endsWith(QLatin1Char('\n')))
        kept.append(QLatin1Char('\n'));
    if (cut)
        kept.append(QStringLiteral("[more output not shown]\n"));
    return kept;
}

// The line that names where users on the Internet connect, or an empty text.
QString reachableLine(const QString &text)
{
    static const QRegularExpression line(
        QStringLiteral("^Reachable at \\d{1,3}(\\.\\d{1,3}){3}:\\d{1,5}$"), QRegularExpression::MultilineOption);
    return line.match(text).captured(0);
}

} // namespace

ModuleOutput::ModuleOutput(QProcess &module)
{
    connect(&module, &QProcess::readyReadStandardError, this,
            [this, &module] { keepBounded(errors, errorsCut, module.readAllStandardError()); });
    connect(&module, &QProcess::readyReadStandardOutput, this,
            [this, &module] { keepBounded(output, outputCut, module.readAllStandardOutput()); });
}

QString ModuleOutput::details() const
{
    const QString sentences = plainModuleText(errors, errorsCut);
    const QString diagnostics = plainModuleText(output, outputCut);
    if (sentences.isEmpty() || diagnostics.isEmpty())
        return sentences + diagnostics;
    return sentences + QLatin1Char('\n') + diagnostics;
}

QString ModuleOutput::reachableAt() const
{
    return reachableLine(plainModuleText(errors, errorsCut));
}
