// A probe of the window beside the stand-in module, started from another directory:
// what only a whole program shows, its exit code after an ERROR answer or in a program
// directory its user cannot write, and the user's own files in the start directory.

#include "window_test_support.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

#include <optional>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace {

// The command prefix that runs a program as a user whom file permissions bind:
// empty when this user is no root; nothing without setpriv or POSIX permissions.
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

} // namespace

class StartupTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir programDirectory;
    QTemporaryDir startDirectory;
    std::unique_ptr<StandIn> standIn;

    QString program(const char *name) const { return programDirectory.filePath(QString::fromLatin1(name)); }

private slots:
    void initTestCase()
    {
        QVERIFY(QFile::copy(QStringLiteral(STARTUP_PROBE), program("startup_probe")));
    }

    void init()
    {
        QVERIFY(StandIn::installIn(programDirectory.path()));
        for (const char *name : {"kavro.cmd", "log.txt"}) {
            QFile::remove(program(name));
            QDir(program(name)).removeRecursively(); // left by a trouble
        }
        standIn = std::make_unique<StandIn>();
        QVERIFY(QDir(startDirectory.path()).removeRecursively());
        QVERIFY(QDir().mkpath(startDirectory.path()));
    }

    void cleanup()
    {
        QVERIFY(openToAll(programDirectory.path()) && openToAll(startDirectory.path()));
        standIn.reset();
    }

    // The trouble meets the start-up beside the program, where an earlier success is left;
    // with "forward" a press follows. The user's own files in the start directory stay as they are.
    void startUp_data()
    {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<Trouble>("trouble");
        QTest::addColumn<bool>("forward");
        QTest::addColumn<QStringList>("output");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<int>("moduleRuns");
        const QStringList readFailed{probeLine(readFailure)};
        const QStringList sendFailed{probeLine(sendFailure)};
        const auto pressed = [](const QString &outcome) {
            return QStringList{"window", probeLine(outcome), "status\t" + failedStatus};
        };
        const QByteArray addresses("10.0.0.5\r\n");
        QTest::newRow("ERROR, before any window") << QByteArray("ERROR\n") << Trouble::None << false << QStringList()
                                                  << 1 << 1;
        QTest::newRow("read-only") << addresses << Trouble::DirectoryReadOnly << false << sendFailed << 1 << 0;
        QTest::newRow("read-only but the command file") << addresses << Trouble::DirectoryReadOnlyButCommandFile
                                                        << false << readFailed << 1 << 0;
        QTest::newRow("addresses, then Forward") << addresses << Trouble::None << true
                                                 << pressed("Port forward error: \n10.0.0.5") << 0 << 2;
    }

    void startUp()
    {
        QFETCH(QByteArray, answer);
        QFETCH(Trouble, trouble);
        QFETCH(bool, forward);
        QFETCH(QStringList, output);
        QFETCH(int, exitCode);
        QFETCH(int, moduleRuns);
        const bool readOnly = trouble == Trouble::DirectoryReadOnly || trouble == Trouble::DirectoryReadOnlyButCommandFile;
        const std::optional<QStringList> user = readOnly ? unprivilegedUser() : QStringList();
        if (!user)
            QSKIP("needs POSIX permissions and, as root, setpriv to drop the right to change any directory");
        if (readOnly)
            QVERIFY(standIn->openToOtherUsers() && openToAll(startDirectory.path()));
        const QByteArray ownLog("the user's own log\n"), ownCommand("the user's own kavro.cmd\n");
        writeFile(startDirectory.filePath(QStringLiteral("log.txt")), ownLog);
        writeFile(startDirectory.filePath(QStringLiteral("kavro.cmd")), ownCommand);
        const QString directory = programDirectory.path();
        QVERIFY(standIn->arrange(directory, directory, answer, trouble));
        QElapsedTimer clock;
        clock.start();

        const QStringList command = *user + QStringList{program("startup_probe"), forward ? "forward" : ""};
        QProcess probe;
        probe.setWorkingDirectory(startDirectory.path());
        probe.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        // No folder of the user's own to fall back on: a read-only program directory stays
        // the exchange directory.
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QStringLiteral("XDG_RUNTIME_DIR"));
        environment.insert(QStringLiteral("HOME"), QStringLiteral("/nonexistent"));
        probe.setProcessEnvironment(environment);
        probe.start(command.first(), command.mid(1));
        QVERIFY(probe.waitForFinished(30000));
        QVERIFY2(clock.elapsed() < 5000, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(probe.exitStatus(), QProcess::NormalExit);
        QCOMPARE(QString::fromLocal8Bit(probe.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts),
                 output);
        QCOMPARE(probe.exitCode(), exitCode);
        const QList<ModuleRun> runs = standIn->runs();
        QCOMPARE(runs.size(), moduleRuns);
        if (moduleRuns)
            QCOMPARE(runs[0].commandFile, textLines({QStringLiteral("getips")}));
        if (readOnly)
            QCOMPARE(fileBytes(QDir(directory).filePath(QStringLiteral("log.txt"))), QByteArray("0\r\n"));
        QCOMPARE(QDir(startDirectory.path()).entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList({"kavro.cmd", "log.txt"}));
        QCOMPARE(fileBytes(startDirectory.filePath(QStringLiteral("log.txt"))), ownLog);
        QCOMPARE(fileBytes(startDirectory.filePath(QStringLiteral("kavro.cmd"))), ownCommand);
    }
};

QTEST_MAIN(StartupTest)
#include "startup_test.moc"
