#include "window_test_support.h"

#include "mainwindow.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace {

const char *const standInSettings[] = {"STANDIN_RECORD", "STANDIN_ANSWER", "STANDIN_SLEEP_MS", "STANDIN_LINGER_MS",
                                       "STANDIN_KILL"};

} // namespace

QString moduleFileName()
{
#ifdef Q_OS_WIN
    return QStringLiteral("Kavro.exe");
#else
    return QStringLiteral("Kavro");
#endif
}

QByteArray textLines(const QStringList &lines)
{
#ifdef Q_OS_WIN
    const QByteArray lineEnd("\r\n");
#else
    const QByteArray lineEnd("\n");
#endif
    QByteArray bytes;
    for (const QString &line : lines)
        bytes += line.toLatin1() + lineEnd;
    return bytes;
}

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
}

void clearProgramDirectory()
{
    const QDir programDirectory(QCoreApplication::applicationDirPath());
    for (const char *name : {"kavro.cmd", "log.txt"}) {
        const QString path = programDirectory.filePath(QString::fromLatin1(name));
        QFile::remove(path);
        QDir(path).removeRecursively();
    }
}

Ended runToEnd(const QStringList &command, const QString &workingDirectory)
{
    QProcess process;
    process.setWorkingDirectory(workingDirectory);
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(command.first(), command.mid(1));
    if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit) {
        process.kill();
        process.waitForFinished();
        return {};
    }
    return {process.exitCode(),
            QString::fromLocal8Bit(process.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts)};
}

std::optional<QStringList> unprivilegedUser()
{
#ifdef Q_OS_UNIX
    if (::geteuid() != 0)
        return QStringList();
    // Root may change any directory; nobody may not.
    const QString setpriv = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
    if (setpriv.isEmpty())
        return std::nullopt;
    return QStringList{setpriv, QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
                       QStringLiteral("--clear-groups")};
#else
    return std::nullopt;
#endif
}

std::unique_ptr<MainWindow> startWindow(const QString &startDirectory, QList<ShownBox> *boxes)
{
    if (!QDir::setCurrent(startDirectory))
        qFatal("cannot enter %s", qPrintable(startDirectory));
    BoxCloser closer;
    auto window = std::make_unique<MainWindow>();
    if (boxes)
        *boxes = closer.boxes;
    else if (!closer.boxes.isEmpty())
        QTest::qFail(qPrintable(QStringLiteral("start-up showed \"%1\"").arg(closer.boxes.first().text)),
                     __FILE__, __LINE__);
    return window;
}

StandIn::StandIn()
{
    if (!scratch.isValid())
        qFatal("no scratch directory for the stand-in module");
    for (const char *name : standInSettings)
        qunsetenv(name);
    qputenv("STANDIN_RECORD", QFile::encodeName(scratch.filePath(QStringLiteral("runs"))));
}

StandIn::~StandIn()
{
    for (const char *name : standInSettings)
        qunsetenv(name);
}

bool StandIn::installIn(const QString &directory)
{
    const QString target = QDir(directory).filePath(moduleFileName());
    QFile::remove(target);
    return QFile::copy(QStringLiteral(STANDIN_MODULE), target);
}

void StandIn::answer(const QByteArray &resultFile)
{
    const QString path = scratch.filePath(QStringLiteral("answer"));
    writeFile(path, resultFile);
    qputenv("STANDIN_ANSWER", QFile::encodeName(path));
}

void StandIn::answerNothing()
{
    qunsetenv("STANDIN_ANSWER");
}

void StandIn::sleepFor(int milliseconds)
{
    qputenv("STANDIN_SLEEP_MS", QByteArray::number(milliseconds));
}

void StandIn::lingerFor(int milliseconds)
{
    qputenv("STANDIN_LINGER_MS", QByteArray::number(milliseconds));
}

void StandIn::dieKilled()
{
    qputenv("STANDIN_KILL", "1");
}

bool StandIn::openToOtherUsers()
{
    const auto everyone = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup
        | QFile::WriteGroup | QFile::ExeGroup | QFile::ReadOther | QFile::WriteOther | QFile::ExeOther;
    return QFile::setPermissions(scratch.path(), everyone);
}

QList<ModuleRun> StandIn::runs() const
{
    QList<ModuleRun> runs;
    const QList<QByteArray> lines = fileBytes(scratch.filePath(QStringLiteral("runs"))).split('\n');
    for (const QByteArray &line : lines) {
        const QList<QByteArray> fields = line.split('\t');
        if (fields.size() != 3)
            continue;
        ModuleRun run;
        run.pid = fields[0].toLongLong();
        run.directory = QFile::decodeName(fields[1]);
        run.hadCommandFile = fields[2] != "-";
        run.commandFile = run.hadCommandFile ? QByteArray::fromHex(fields[2]) : QByteArray();
        runs.append(run);
    }
    return runs;
}

BoxCloser::BoxCloser(const QLabel *status) : status(status)
{
    connect(&timer, &QTimer::timeout, this, &BoxCloser::closeModalBox);
    timer.start(10);
}

void BoxCloser::closeModalBox()
{
    auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
    if (!box)
        return;
    boxes.append({box->text(), box->icon(), box->parentWidget() == nullptr,
                  status ? status->text() : QString()});
    if (onShown)
        onShown(boxes.last());
    box->done(0);
}
