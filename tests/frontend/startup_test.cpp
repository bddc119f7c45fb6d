// Start-ups that end the program: the real Varneth and a probe of the same window,
// copied beside the stand-in module and started from another directory.

#include "window_test_support.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTest>

namespace {

const QString sendFailure =
    QStringLiteral("FATAL ERROR: Could not send command to internal port forwarding module.");
const QString readFailure = QStringLiteral("FATAL ERROR: Could not read internal port forwarding module.");

} // namespace

class StartupTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir programDirectory;
    QTemporaryDir startDirectory;
    std::unique_ptr<StandIn> standIn;

    QString program(const char *name) const { return programDirectory.filePath(QString::fromLatin1(name)); }
    QString startFile(const char *name) const { return startDirectory.filePath(QString::fromLatin1(name)); }

    // Runs a program to its end, started in the start directory; prefix runs it under another user.
    Ended runToEnd(const QString &executable, const QStringList &prefix = {})
    {
        return ::runToEnd(prefix + QStringList{executable}, startDirectory.path());
    }

private slots:
    void initTestCase()
    {
        QVERIFY(QFile::copy(QStringLiteral(VARNETH_PROGRAM), program("Varneth")));
        QVERIFY(QFile::copy(QStringLiteral(STARTUP_PROBE), program("startup_probe")));
        // Another user must be able to run the programs (see resultThatCannotBeRemovedIsNotRead).
        const auto open = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup
            | QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther;
        QVERIFY(QFile::setPermissions(programDirectory.path(), open));
    }

    void init()
    {
        QVERIFY(StandIn::installIn(programDirectory.path()));
        standIn = std::make_unique<StandIn>();
        QVERIFY(QDir(startDirectory.path()).removeRecursively());
        QVERIFY(QDir().mkpath(startDirectory.path()));
    }

    void cleanup() { standIn.reset(); }

    void errorAnswerEndsBeforeAnyWindow()
    {
        standIn->answer("ERROR\n");
        const Ended ended = runToEnd(program("Varneth"));
        QCOMPARE(ended.exitCode, 1);
        const QList<ModuleRun> runs = standIn->runs();
        QCOMPARE(runs.size(), 1);
        QCOMPARE(runs[0].directory, QFileInfo(startDirectory.path()).canonicalFilePath());
        QCOMPARE(runs[0].commandFile, textLines({QStringLiteral("getips")}));
    }

    void addressAnswerOpensTheWindow()
    {
        standIn->answer("10.0.0.5\n");
        QProcess varneth;
        varneth.setWorkingDirectory(startDirectory.path());
        varneth.start(program("Varneth"), QStringList());
        QByteArray errors;
        QTRY_VERIFY_WITH_TIMEOUT((errors += varneth.readAllStandardError()).contains("got  1"), 15000);
        QVERIFY(!varneth.waitForFinished(500));
        varneth.kill();
        varneth.waitForFinished();
    }

    void fatalStartUpEndsWithStatusOne_data()
    {
        QTest::addColumn<QString>("situation");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("moduleRuns");
        QTest::newRow("no module, no result file") << "missing" << readFailure << 0;
        QTest::newRow("silent module, earlier list left") << "silent" << readFailure << 1;
        QTest::newRow("command file cannot be written") << "unwritable" << sendFailure << 0;
    }

    void fatalStartUpEndsWithStatusOne()
    {
        QFETCH(QString, situation);
        QFETCH(QString, text);
        QFETCH(int, moduleRuns);
        if (situation == QLatin1String("missing"))
            QVERIFY(QFile::remove(program(qPrintable(moduleFileName()))));
        if (situation == QLatin1String("silent"))
            writeFile(startFile("log.txt"), "10.0.0.7\n");
        if (situation == QLatin1String("unwritable")) {
            QVERIFY(QDir().mkpath(startFile("kavro.cmd")));
            standIn->answer("10.0.0.5\n");
        }

        const Ended ended = runToEnd(program("startup_probe"));
        QCOMPARE(ended.output, QStringList{QStringLiteral("box\t%1\t%2").arg(QMessageBox::Critical).arg(text)});
        QCOMPARE(ended.exitCode, 1);
        QCOMPARE(standIn->runs().size(), moduleRuns);
    }

    void resultThatCannotBeRemovedIsNotRead()
    {
#ifdef Q_OS_UNIX
        // A directory the user cannot change: the earlier answer cannot be removed.
        const std::optional<QStringList> asOtherUser = unprivilegedUser();
        if (!asOtherUser)
            QSKIP("setpriv is needed to drop root's right to change any directory");
        writeFile(startFile("log.txt"), "10.0.0.7\n");
        writeFile(startFile("kavro.cmd"), "");
        QVERIFY(QFile::setPermissions(startFile("kavro.cmd"), QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup
                                                                  | QFile::WriteGroup | QFile::ReadOther
                                                                  | QFile::WriteOther));
        QVERIFY(QFile::setPermissions(startDirectory.path(), QFile::ReadOwner | QFile::ExeOwner | QFile::ReadGroup
                                                                 | QFile::ExeGroup | QFile::ReadOther
                                                                 | QFile::ExeOther));
        const Ended ended = runToEnd(program("startup_probe"), *asOtherUser);
        QVERIFY(QFile::setPermissions(startDirectory.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        QCOMPARE(ended.output, QStringList{QStringLiteral("box\t%1\t%2").arg(QMessageBox::Critical).arg(readFailure)});
        QCOMPARE(ended.exitCode, 1);
        QCOMPARE(fileBytes(startFile("log.txt")), QByteArray("10.0.0.7\n"));
#else
        QSKIP("needs POSIX permissions");
#endif
    }
};

QTEST_MAIN(StartupTest)
#include "startup_test.moc"
