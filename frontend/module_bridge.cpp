#include "module_bridge.h"

#include "input_held.h"
#include "module_output.h"
#include "platform.h"
#include "result_lines.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTextStream>

const char *const sendFailureText = "FATAL ERROR: Could not send command to internal port forwarding module.";
const char *const readFailureText = "FATAL ERROR: Could not read internal port forwarding module.";

namespace {

const char *const commandFile = "kavro.cmd";
const char *const resultFile = "log.txt";
const char *const errorAnswer = "ERROR";
constexpr int moduleTimeLimitMs = 10000;
// Beside it, the time the module gives a person for a password.
constexpr int passwordTimeLimitMs = 120000;
// Short enough that the window repaints and answers the desktop's pings meanwhile.
constexpr int waitSliceMs = 50;

ExchangeResult failed(const char *text, const QString &why)
{
    return {{QString::fromLatin1(errorAnswer)}, ExchangeFailure{QString::fromLatin1(text), why}};
}

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

bool sendCommand(const QStringList &commandLines)
{
    return writeLines(QString::fromLatin1(commandFile), commandLines);
}

// True when the module ran to its own end: not missing, killed or still running.
bool runModule(QProcess &module, const QString &program, const ModuleOutput *output)
{
    // Started by full path so the module beside this program is the one that runs;
    // it inherits our current directory, where the two files are.
    module.start(QCoreApplication::applicationDirPath() + QLatin1Char('/') + program, QStringList(),
                 QIODevice::ReadWrite);
    QElapsedTimer waited;
    waited.start();
    // A module that ended while events were processed, or never started, is not running.
    while (!module.waitForFinished(waitSliceMs) && module.state() != QProcess::NotRunning) {
        const bool asked = output != nullptr && output->passwordAsked();
        if (waited.elapsed() >= moduleTimeLimitMs + (asked ? passwordTimeLimitMs : 0))
            return false;
        processEventsWithoutInput();
    }
    return module.error() != QProcess::FailedToStart && module.exitStatus() == QProcess::NormalExit;
}

std::optional<QStringList> readResult(OddCharacters odd)
{
    QFile file(QString::fromLatin1(resultFile));
    // Not in text mode: the reader tells a CR that ends no line from a line end.
    if (!openExchangeFile(file, QIODevice::ReadOnly))
        return std::nullopt;
    return readResultLines(file, odd);
}

} // namespace

ExchangeResult exchangeWithModule(QProcess &module, const QString &program, const QStringList &commandLines,
                                  OddCharacters odd, const ModuleOutput *output)
{
    // A command file that was not written may still hold the previous command:
    // running the module on it would repeat that request.
    if (!sendCommand(commandLines))
        return failed(sendFailureText,
                      QStringLiteral("The file kavro.cmd could not be written in %1. Make sure you may write there "
                                     "and that no link or other file of that name is in the way, then try again.")
                          .arg(here()));
    // A module that was killed or outlasted the wait may have left part of an answer,
    // and a part can read as a whole one ("0" is the first byte of "0" CR LF).
    if (!discardEarlierResult())
        return failed(readFailureText,
                      QStringLiteral("An earlier log.txt in %1 could not be removed. Remove it, then try again.")
                          .arg(here()));
    if (!runModule(module, program, output))
        return failed(readFailureText, whyNoAnswer(module));
    const std::optional<QStringList> lines = readResult(odd);
    if (!lines)
        return failed(readFailureText,
                      QStringLiteral("The module left no answer in %1 that could be read. Try again; if it keeps "
                                     "happening, install the tool again.")
                          .arg(here()));
    return {*lines, std::nullopt};
}
