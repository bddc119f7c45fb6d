#include "mainwindow.h"

#include "message_box.h"
#include "platform.h"
#include "result_lines.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTextStream>

#include <optional>
#include <utility>

namespace {

const char *const commandFile = "kavro.cmd";
const char *const resultFile = "log.txt";
const char *const errorAnswer = "ERROR";
constexpr int moduleTimeLimitMs = 10000;

bool writeLines(const QString &fileName, const QStringList &lines)
{
    QFile file(fileName);
    if (!openExchangeFile(file, QIODevice::WriteOnly | QIODevice::Text))
        return false;
    QTextStream stream(&file);
    for (const QString &line : lines)
        stream << line << '\n';
    stream.flush();
    file.close();
    return stream.status() == QTextStream::Ok && file.error() == QFileDevice::NoError;
}

// A result file left by an earlier run must never pass for this run's answer.
bool discardEarlierResult()
{
    return QFile::remove(QString::fromLatin1(resultFile)) || !QFile::exists(QString::fromLatin1(resultFile));
}

QString here()
{
    return QDir::toNativeSeparators(QDir::currentPath());
}

// Why the module left no answer to take, as the user reads it below the fatal error.
QString whyNoAnswer(const QProcess &module)
{
    if (module.error() == QProcess::FailedToStart)
        return QStringLiteral("The module %1 beside this program could not be started. Install the tool again.")
            .arg(QDir::toNativeSeparators(module.program()));
    if (module.state() != QProcess::NotRunning)
        return QStringLiteral("The module did not finish within 10 seconds, so its answer is not taken. Try again "
                              "in a moment; a router that answers slowly can cause this.");
    return QStringLiteral("The module was stopped before it finished. Try again.");
}

} // namespace

QStringList MainWindow::exchange(QProcess &module, QStringList commandLines, OddCharacters odd)
{
    // A command file that was not written may still hold the previous command:
    // running the module on it would repeat that request.
    if (!sendCommand(std::move(commandLines)))
        return {QString::fromLatin1(errorAnswer)};
    // A module that was killed or outlasted the wait may have left part of an answer,
    // and a part can read as a whole one ("0" is the first byte of "0" CR LF).
    if (!discardEarlierResult()) {
        showFatalError(QString::fromLatin1(readFailureText),
                       QStringLiteral("An earlier log.txt in %1 could not be removed. Remove it, then try again.")
                           .arg(here()));
        return {QString::fromLatin1(errorAnswer)};
    }
    if (!runModule(module)) {
        showFatalError(QString::fromLatin1(readFailureText), whyNoAnswer(module));
        return {QString::fromLatin1(errorAnswer)};
    }
    return readResult(odd);
}

bool MainWindow::sendCommand(QStringList commandLines)
{
    if (writeLines(QString::fromLatin1(commandFile), commandLines))
        return true;
    showFatalError(QString::fromLatin1(sendFailureText),
                   QStringLiteral("The file kavro.cmd could not be written in %1. Make sure you may write there and "
                                  "that no link or other file of that name is in the way, then try again.")
                       .arg(here()));
    return false;
}

bool MainWindow::runModule(QProcess &module)
{
    // Started by full path so the module beside this program is the one that runs;
    // it inherits our current directory, where the two files are.
    module.start(QCoreApplication::applicationDirPath() + QLatin1Char('/') + moduleProgram,
                 QStringList(), QIODevice::ReadWrite);
    return module.waitForFinished(moduleTimeLimitMs) && module.exitStatus() == QProcess::NormalExit;
}

QStringList MainWindow::readResult(OddCharacters odd)
{
    QFile file(QString::fromLatin1(resultFile));
    // Not in text mode: the reader tells a CR that ends no line from a line end.
    std::optional<QStringList> lines;
    if (openExchangeFile(file, QIODevice::ReadOnly))
        lines = readResultLines(file, odd);
    if (!lines) {
        showFatalError(QString::fromLatin1(readFailureText),
                       QStringLiteral("The module left no answer in %1 that could be read. Try again; if it keeps "
                                      "happening, install the tool again.")
                           .arg(here()));
        return {QString::fromLatin1(errorAnswer)};
    }
    return *lines;
}
