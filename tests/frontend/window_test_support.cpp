#include "window_test_support.h"

#include "mainwindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QTest>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

const QFile::Permissions readByAll = QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther;
const QFile::Permissions writeByAll = QFile::WriteOwner | QFile::WriteGroup | QFile::WriteOther;
const QFile::Permissions enterByAll = QFile::ExeOwner | QFile::ExeGroup | QFile::ExeOther;

const char *const standInSettings[] = {"STANDIN_RECORD", "STANDIN_ANSWER", "STANDIN_LINGER_MS", "STANDIN_KILL",
                                       "STANDIN_PLANT", "STANDIN_STDOUT", "STANDIN_STDERR"};
const QByteArray secretBytes("root's own\n");

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

bool openToAll(const QString &path)
{
    return QFile::setPermissions(path, readByAll | writeByAll | enterByAll);
}

QString programFile(const QString &name)
{
    return QDir(QCoreApplication::applicationDirPath()).filePath(name);
}

StandIn::StandIn()
{
    if (!scratch.isValid())
        qFatal("no scratch directory for the stand-in module");
    for (const char *name : standInSettings)
        qunsetenv(name);
    qputenv("STANDIN_RECORD", QFile::encodeName(scratch.filePath(QStringLiteral("runs"))));
    const QString secret = scratch.filePath(QStringLiteral("elsewhere/secret"));
    if (!QDir().mkpath(scratch.filePath(QStringLiteral("elsewhere"))))
        qFatal("no folder for the secret");
    writeFile(secret, secretBytes);
    QFile::setPermissions(secret, QFile::ReadOwner | QFile::WriteOwner);
}

StandIn::~StandIn()
{
#ifdef Q_OS_UNIX
    if (fifoReader >= 0)
        ::close(fifoReader);
#endif
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

void StandIn::speak(const QByteArray &standardOutput, const QByteArray &standardError)
{
    const QString out = scratch.filePath(QStringLiteral("stdout"));
    const QString err = scratch.filePath(QStringLiteral("stderr"));
    writeFile(out, standardOutput);
    writeFile(err, standardError);
    qputenv("STANDIN_STDOUT", QFile::encodeName(out));
    qputenv("STANDIN_STDERR", QFile::encodeName(err));
}

bool StandIn::arrange(const QString &moduleDirectory, const QString &directory, const QByteArray &resultFile,
                      Trouble trouble)
{
    const QString commandFile = QDir(directory).filePath(QStringLiteral("kavro.cmd"));
    const QString earlierResult = QDir(directory).filePath(QStringLiteral("log.txt"));
    writeFile(earlierResult, "0\r\n");
    QFile::remove(commandFile); // the start-up's, from this directory
    if (resultFile.isNull())
        qunsetenv("STANDIN_ANSWER");
    else
        answer(resultFile);
    switch (trouble) {
    case Trouble::None:
        return true;
    case Trouble::ModuleMissing:
        return QFile::remove(QDir(moduleDirectory).filePath(moduleFileName()));
    case Trouble::ModuleKilled:
        return qputenv("STANDIN_KILL", "1");
    case Trouble::ModuleLingers:
        return qputenv("STANDIN_LINGER_MS", "15000");
    case Trouble::CommandFileIsDirectory:
        return QDir().mkpath(commandFile);
    case Trouble::DiskFull:
        return QFile::link(QStringLiteral("/dev/full"), commandFile);
    case Trouble::ResultFileIsDirectory:
        return QFile::remove(earlierResult) && QDir().mkpath(earlierResult + QStringLiteral("/inside"));
    case Trouble::DirectoryReadOnlyButCommandFile:
        writeFile(commandFile, {});
        if (!QFile::setPermissions(commandFile, readByAll | writeByAll))
            return false;
        Q_FALLTHROUGH();
    case Trouble::DirectoryReadOnly:
        return QFile::setPermissions(directory, readByAll | enterByAll);
    case Trouble::CommandFileLinksToSecret:
        return QFile::link(scratch.filePath(QStringLiteral("elsewhere/secret")), commandFile);
    case Trouble::CommandFileLinksToNothing:
        return QFile::link(scratch.filePath(QStringLiteral("elsewhere/new")), commandFile);
#ifdef Q_OS_UNIX
    case Trouble::CommandFileIsFifo:
        if (::mkfifo(QFile::encodeName(commandFile).constData(), 0666) != 0)
            return false;
        fifoReader = ::open(QFile::encodeName(commandFile).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        return fifoReader >= 0;
    case Trouble::ResultFileLinksToSuccess:
        return qputenv("STANDIN_PLANT", "link");
    case Trouble::ResultFileIsFifo:
        return qputenv("STANDIN_PLANT", "fifo");
#else
    case Trouble::CommandFileIsFifo:
    case Trouble::ResultFileLinksToSuccess:
    case Trouble::ResultFileIsFifo:
        return false;
#endif
    }
    return false;
}

QList<ModuleRun> StandIn::runs() const
{
    QList<ModuleRun> runs;
    for (const QByteArray &line : fileBytes(scratch.filePath(QStringLiteral("runs"))).split('\n')) {
        const QList<QByteArray> fields = line.split('\t');
        if (fields.size() == 3)
            runs.append({fields[0].toLongLong(), QFile::decodeName(fields[1]), QByteArray::fromHex(fields[2])});
    }
    return runs;
}

bool StandIn::elsewhereUntouched() const
{
    const QStringList names = QDir(scratch.filePath(QStringLiteral("elsewhere"))).entryList(QDir::Files | QDir::System);
    bool untouched = names == QStringList{QStringLiteral("secret")} &&
                     fileBytes(scratch.filePath(QStringLiteral("elsewhere/secret"))) == secretBytes;
#ifdef Q_OS_UNIX
    char byte = 0;
    if (fifoReader >= 0)
        untouched = untouched && ::read(fifoReader, &byte, 1) <= 0;
#endif
    return untouched;
}

QList<Misbehaviour> misbehaviours()
{
    const auto hundredMegabytes = [](const QByteArray &head, const QByteArray &unit, const QByteArray &tail) {
        return head + unit.repeated(100 * 1024 * 1024 / unit.size()) + tail;
    };
    return {
#ifdef Q_OS_UNIX
        {"killed before answering", QByteArray(), Trouble::ModuleKilled},
        {"killed after a whole 0", "0\r\n", Trouble::ModuleKilled},
#endif
        {"still running after a 0 without line end", "0", Trouble::ModuleLingers},
        {"100 MB on one line", hundredMegabytes("Invalid IP", "A", {}), Trouble::None},
        {"100 MB of lines 0", hundredMegabytes({}, "0\r\n", {}), Trouble::None},
        {"0, then a line of 100 MB", hundredMegabytes("0\r\n", "A", "\r\n"), Trouble::None},
        {"NUL after 0", QByteArray("0\0\r\n", 4), Trouble::None},
        {"invalid UTF-8 after 0", "0\r\n\xC3\x28\r\n", Trouble::None},
        // A text-mode read would drop the CR.
        {"0 ended by CR alone", "0\r", Trouble::None},
    };
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
                  status ? status->text() : QString(), box->textFormat(), box->informativeText(),
                  box->detailedText()});
    if (onShown)
        onShown(boxes.last());
    box->done(0);
}

QString probeLine(const QString &text, QMessageBox::Icon icon)
{
    return QStringLiteral("box\t%1\t%2").arg(icon).arg(QString(text).replace(QLatin1Char('\n'), QLatin1String("\\n")));
}

std::unique_ptr<MainWindow> startWindow(const QString &startDirectory)
{
    if (!QDir::setCurrent(startDirectory))
        qFatal("cannot enter %s", qPrintable(startDirectory));
    BoxCloser closer;
    auto window = std::make_unique<MainWindow>();
    if (!closer.boxes.isEmpty())
        QTest::qFail(qPrintable(QStringLiteral("start-up showed \"%1\"").arg(closer.boxes.first().text)),
                     __FILE__, __LINE__);
    return window;
}

void fillForm(MainWindow &window, bool tcp, bool udp, const QString &ip, const QString &port)
{
    formObject<QCheckBox>(window, "chkTCP")->setChecked(tcp);
    formObject<QCheckBox>(window, "ChkUDP")->setChecked(udp);
    formObject<QLineEdit>(window, "editip")->setText(ip);
    formObject<QLineEdit>(window, "editport")->setText(port);
}
