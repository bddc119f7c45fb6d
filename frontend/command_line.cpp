#include "command_line.h"

#include "command_arguments.h"
#include "module_bridge.h"
#include "module_output.h"
#include "outcome_text.h"
#include "platform.h"
#include "port_list.h"
#include "port_words.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

namespace {

void write(std::FILE *stream, const QString &text)
{
    // In order where both streams go to one file: standard output is buffered there, and
    // on Windows standard error too.
    if (stream == stderr)
        std::fflush(stdout);
    std::fputs(text.toLocal8Bit().constData(), stream);
    if (stream == stderr)
        std::fflush(stderr);
}

// Each non-empty text on lines of its own.
void say(std::FILE *stream, const QStringList &texts)
{
    for (const QString &text : texts)
        if (!text.isEmpty())
            write(stream, text + QLatin1Char('\n'));
}

// The table a person reads: columns as the open ports dialog shows them, lined up.
QString portTable(const QList<OpenPort> &ports)
{
    QList<QStringList> rows{portColumnHeaders()};
    for (const OpenPort &port : ports)
        rows.append(portColumns(port));
    QList<int> widths;
    for (const QStringList &row : rows)
        for (int column = 0; column < row.size(); ++column) {
            if (widths.size() <= column)
                widths.append(0);
            widths[column] = std::max(widths[column], int(row[column].size()));
        }
    QString table;
    for (const QStringList &row : rows) {
        QString line;
        for (int column = 0; column < row.size(); ++column)
            line += column + 1 < row.size() ? row[column].leftJustified(widths[column] + 2) : row[column];
        table += line + QLatin1Char('\n');
    }
    return table;
}

// The command that opens the port over IPv6 too, as the box's button does.
QString overIpv6Command(const Invocation &invocation)
{
    return QStringLiteral("varneth forward %1 %2%3 --ipv6")
        .arg(invocation.address, QString::number(invocation.port),
             invocation.tcp && invocation.udp ? QString()
             : invocation.tcp                 ? QStringLiteral(" --tcp")
                                              : QStringLiteral(" --udp"));
}

int tellForward(const Invocation &invocation, const QStringList &answer, const ModuleOutput &output)
{
    const ForwardOutcome outcome = forwardOutcome(answer, output, invocation.ipv6);
    say(stderr, {outcome.text, outcome.informative});
    if (!outcome.ipv6Offer.isEmpty())
        say(stderr, {outcome.ipv6Offer + QStringLiteral(": ") + overIpv6Command(invocation)});
    return outcome.succeeded ? 0 : 1;
}

int tellList(const Invocation &invocation, const QStringList &answer, const ModuleOutput &output)
{
    const PortList list = readPortList(answer);
    const QString headlines = output.informativeText(false);
    if (list.failure) {
        say(stderr, {QString::fromLatin1(listFailedText), failureReasons(answer, headlines)});
        return 1;
    }
    if (invocation.tab) {
        // The module's own lines, in its order; those that are no port are told below.
        for (const QString &line : answer)
            if (!list.unread.contains(line))
                say(stdout, {line});
    } else if (!list.ports.isEmpty()) {
        write(stdout, portTable(list.ports));
    } else if (list.unread.isEmpty()) {
        say(stderr, {QString::fromLatin1(nothingOpenText)});
    }
    if (!list.unread.isEmpty())
        say(stderr, {unreadLinesText(list.unread, QStringLiteral("Run it again; if it stays, install the tool again."))});
    say(stderr, {headlines});
    return 0;
}

// close and renew: a sentence of what was done, or why not, and the module's headlines;
// after the reason, close --all's answer names what is left, a line each on standard
// output, for whoever must close it by hand (the uninstaller keeps them in a file).
int tellDone(const QStringList &answer, const ModuleOutput &output, const QString &done, const QString &notDone)
{
    const QString headlines = output.informativeText(false);
    if (answer.value(0) != QLatin1String("0")) {
        say(stderr, {notDone, failureReasons(answer.mid(0, 1), headlines)});
        say(stdout, answer.mid(1));
        return 1;
    }
    say(stderr, {done, headlines});
    return 0;
}

int tellAddresses(const QStringList &answer, const ModuleOutput &output)
{
    if (answer.value(0) == QLatin1String("ERROR")) {
        say(stderr, {QStringLiteral("This machine's addresses could not be listed."), output.informativeText(false)});
        return 1;
    }
    say(stdout, answer);
    return 0;
}

int tell(const Invocation &invocation, const QStringList &answer, const ModuleOutput &output)
{
    switch (invocation.word) {
    case CommandWord::Forward:
        return tellForward(invocation, answer, output);
    case CommandWord::List:
        return tellList(invocation, answer, output);
    case CommandWord::Close:
        if (invocation.all)
            return tellDone(answer, output, QStringLiteral("Every port this tool opened for you is closed."),
                            QStringLiteral("Could not close every port this tool opened for you."));
        return tellDone(answer, output,
                        QStringLiteral("Port %1 to %2 is closed (%3).")
                            .arg(QString::number(invocation.port), invocation.address,
                                 invocation.tcp && invocation.udp ? QStringLiteral("TCP and UDP")
                                 : invocation.tcp                 ? QStringLiteral("TCP")
                                                                  : QStringLiteral("UDP")),
                        closeFailedText(1));
    case CommandWord::Renew:
        return tellDone(answer, output, QStringLiteral("The router holds every port this tool keeps open on this network."),
                        QStringLiteral("Could not renew every port this tool keeps open."));
    case CommandWord::Addresses:
        return tellAddresses(answer, output);
    case CommandWord::Help:
    case CommandWord::Version:
        break;
    }
    return 1;
}

bool changesRecord(const Invocation &invocation)
{
    return invocation.word == CommandWord::Forward || invocation.word == CommandWord::Close ||
           invocation.word == CommandWord::Renew;
}

// One exchange in a new folder of this run's own (mode 0700), removed afterwards.
int runInPrivateFolder(const Invocation &invocation)
{
    QTemporaryDir folder(QDir::tempPath() + QStringLiteral("/varneth-XXXXXX"));
    const QString before = QDir::currentPath();
    if (!folder.isValid() || !QDir::setCurrent(folder.path())) {
        say(stderr, {QString::fromLatin1(sendFailureText),
                     QStringLiteral("No private folder could be made in %1. Make sure you may write there, or set "
                                    "TMPDIR to a folder of your own, then try again.")
                         .arg(QDir::toNativeSeparators(QDir::tempPath()))});
        return 1;
    }
    int status = 1;
    {
        // Ended here at the latest, so a module past its wait never outlives its folder.
        QProcess module;
        const ModuleOutput output(module);
        // A list is read line by line, odd characters replaced: each line it can be is a port,
        // and nothing printed moves or hides the terminal's text.
        const OddCharacters odd =
            invocation.word == CommandWord::List ? OddCharacters::Replace : OddCharacters::RefuseAnswer;
        const ExchangeResult result = exchangeWithModule(module, moduleProgramName(), moduleCommand(invocation), odd, &output);
        if (result.failure)
            say(stderr, {result.failure->text, result.failure->why});
        else
            status = tell(invocation, result.lines, output);
        if (invocation.verbose && !output.details().isEmpty())
            write(stderr, QLatin1Char('\n') + output.details());
    }
    // Left before it goes: Windows removes no folder a process is in.
    QDir::setCurrent(before);
    return status;
}

} // namespace

int runCommandLine(const QStringList &arguments)
{
    const std::variant<Invocation, QString> read = readArguments(arguments.mid(1));
    if (const QString *misuse = std::get_if<QString>(&read)) {
        say(stderr, {QStringLiteral("varneth: ") + *misuse, QStringLiteral("\"varneth --help\" says how it is used.")});
        return 2;
    }
    const Invocation &invocation = std::get<Invocation>(read);
    if (invocation.word == CommandWord::Help) {
        write(stdout, usageText());
        return 0;
    }
    if (invocation.word == CommandWord::Version) {
        say(stdout, {QStringLiteral("varneth " VARNETH_VERSION)});
        return 0;
    }
    if (changesRecord(invocation))
        say(stderr, {whoseRecordText()});
    return runInPrivateFolder(invocation);
}
