// A module that misbehaves, at start-up and on a press of "Forward": killed mid-run,
// still running after the wait with part of an answer written, an answer of 100 MB,
// an answer that is no text, a program directory that cannot be written. Each ends
// in a fatal box and an error, never in success, and within seconds.

#include "mainwindow.h"
#include "window_test_support.h"

#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

namespace {

const QString sendFailure =
    QStringLiteral("FATAL ERROR: Could not send command to internal port forwarding module.");
const QString readFailure = QStringLiteral("FATAL ERROR: Could not read internal port forwarding module.");
const QString errorOutcome = QStringLiteral("Port forward error: \nERROR");
const QString failedStatus = QStringLiteral("Ready (error ocurred)");
constexpr int moduleWaitMs = 10000;
constexpr int fewSecondsMs = 5000;

QByteArray hundredMegabytes(const QByteArray &head, const QByteArray &unit, const QByteArray &tail = {})
{
    const int size = 100 * 1024 * 1024;
    return head + unit.repeated(size / unit.size()) + tail;
}

// A critical box as the probe prints it: on one line, its line feeds written as \n.
QString probeLine(QString box)
{
    box.replace(QLatin1Char('\n'), QLatin1String("\\n"));
    return QStringLiteral("box\t%1\t%2").arg(QMessageBox::Critical).arg(box);
}

const QFile::Permissions readByAll = QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther;
const QFile::Permissions writeByAll = QFile::WriteOwner | QFile::WriteGroup | QFile::WriteOther;
const QFile::Permissions enterByAll = QFile::ExeOwner | QFile::ExeGroup | QFile::ExeOther;
const QFile::Permissions openToAll = readByAll | writeByAll | enterByAll;

} // namespace

class MisbehavingModuleTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<StandIn> standIn;
    QTemporaryDir programDirectory; // a copy of the program, run through the probe
    QTemporaryDir startDirectory;

    QString program(const char *name) const { return programDirectory.filePath(QString::fromLatin1(name)); }

    // The module's misbehaviour of the current row; a null answer means it writes none.
    void misbehave()
    {
        QFETCH(QByteArray, answer);
        QFETCH(bool, killed);
        QFETCH(int, lingerMs);
        if (answer.isNull())
            standIn->answerNothing();
        else
            standIn->answer(answer);
        if (killed)
            standIn->dieKilled();
        if (lingerMs > 0)
            standIn->lingerFor(lingerMs);
    }

    // What the row may cost beyond the work itself: the wait for a module that lingers.
    static int timeLimitMs()
    {
        QFETCH(int, lingerMs);
        return (lingerMs > 0 ? moduleWaitMs : 0) + fewSecondsMs;
    }

    bool setProgramDirectory(QFile::Permissions permissions)
    {
        return QFile::setPermissions(programDirectory.path(), permissions);
    }

    static void addMisbehaviours()
    {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<bool>("killed");
        QTest::addColumn<int>("lingerMs");
#ifdef Q_OS_UNIX
        QTest::newRow("killed before answering") << QByteArray() << true << 0;
        QTest::newRow("killed after a 0 without line end") << QByteArray("0") << true << 0;
        QTest::newRow("killed after a whole 0") << QByteArray("0\r\n") << true << 0;
#endif
        QTest::newRow("still running after a 0 without line end") << QByteArray("0") << false << 15000;
        QTest::newRow("100 MB on one line") << hundredMegabytes("Invalid IP", "A") << false << 0;
        QTest::newRow("100 MB of lines 0") << hundredMegabytes({}, "0\r\n") << false << 0;
        QTest::newRow("0, then a line of 100 MB") << hundredMegabytes("0\r\n", "A", "\r\n") << false << 0;
        QTest::newRow("NUL after 0") << QByteArray("0\0\r\n", 4) << false << 0;
        QTest::newRow("0, then a line of NULs") << QByteArray("0\r\n\0\0\0\0\r\n", 9) << false << 0;
        QTest::newRow("invalid UTF-8 after 0") << QByteArray("0\r\n\xC3\x28\r\n") << false << 0;
        QTest::newRow("UTF-16") << QByteArray("\xFF\xFE" "0\0\r\0\n\0", 8) << false << 0;
        QTest::newRow("0 ended by CR alone") << QByteArray("0\r") << false << 0;
        QTest::newRow("CR before 0") << QByteArray("\r0\r\n") << false << 0;
        QTest::newRow("CR between 0 and an address") << QByteArray("0\r10.0.0.5\r\n") << false << 0;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(StandIn::installIn(QCoreApplication::applicationDirPath()));
        QVERIFY(QFile::copy(QStringLiteral(STARTUP_PROBE), program("startup_probe")));
    }

    void init()
    {
        QVERIFY(setProgramDirectory(openToAll));
        QVERIFY(StandIn::installIn(programDirectory.path()));
        for (const char *name : {"kavro.cmd", "log.txt"})
            QFile::remove(program(name));
        standIn = std::make_unique<StandIn>();
        QVERIFY(QDir(startDirectory.path()).removeRecursively());
        QVERIFY(QDir().mkpath(startDirectory.path()));
    }

    void cleanup()
    {
        QVERIFY(setProgramDirectory(openToAll));
        standIn.reset();
        clearProgramDirectory();
    }

    void startUpEndsWithReadFailure_data() { addMisbehaviours(); }

    void startUpEndsWithReadFailure()
    {
        misbehave();
        QElapsedTimer clock;
        clock.start();
        const Ended ended = runToEnd({program("startup_probe")}, startDirectory.path());
        QVERIFY2(clock.elapsed() < timeLimitMs(), qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(ended.output, QStringList{probeLine(readFailure)});
        QCOMPARE(ended.exitCode, 1);
        QCOMPARE(standIn->runs().size(), 1);
    }

    void forwardEndsInError_data() { addMisbehaviours(); }

    void forwardEndsInError()
    {
        standIn->answer("10.0.0.5\r\n");
        const std::unique_ptr<MainWindow> window = startWindow(startDirectory.path());
        misbehave();
        formObject<QCheckBox>(*window, "chkTCP")->setChecked(true);
        formObject<QLineEdit>(*window, "editport")->setText(QStringLiteral("5555"));
        BoxCloser closer(formObject<QLabel>(*window, "lblStatus"));
        QElapsedTimer clock;
        clock.start();

        QTest::mouseClick(formObject<QPushButton>(*window, "btnForward"), Qt::LeftButton);
        QVERIFY2(clock.elapsed() < timeLimitMs(), qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(closer.boxes.size(), 2);
        QCOMPARE(closer.boxes[0].text, readFailure);
        QCOMPARE(closer.boxes[1].text, errorOutcome);
        for (const ShownBox &box : closer.boxes)
            QCOMPARE(box.icon, QMessageBox::Critical);
        QCOMPARE(closer.boxes[1].statusLine, failedStatus);
        QCOMPARE(standIn->runs().size(), 2);
    }

    void readOnlyProgramDirectory_data()
    {
        QTest::addColumn<bool>("startedThere");
        QTest::addColumn<bool>("earlierFiles");
        QTest::addColumn<QStringList>("output");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<int>("moduleRuns");
        const auto pressed = [](const QString &fatal) {
            return QStringList{QStringLiteral("window"), probeLine(fatal), probeLine(errorOutcome),
                               QStringLiteral("status\t") + failedStatus};
        };
        QTest::newRow("started there") << true << false << QStringList{probeLine(sendFailure)} << 1 << 0;
        QTest::newRow("started elsewhere, then Forward") << false << false << pressed(sendFailure) << 0 << 1;
        // The command file can be written, but the earlier success cannot be removed.
        QTest::newRow("earlier command and success left, then Forward")
            << false << true << pressed(readFailure) << 0 << 1;
    }

    void readOnlyProgramDirectory()
    {
        QFETCH(bool, startedThere);
        QFETCH(bool, earlierFiles);
        QFETCH(QStringList, output);
        QFETCH(int, exitCode);
        QFETCH(int, moduleRuns);
        const std::optional<QStringList> asOtherUser = unprivilegedUser();
        if (!asOtherUser)
            QSKIP("needs POSIX permissions and, as root, setpriv to drop the right to change any directory");
        QVERIFY(standIn->openToOtherUsers());
        standIn->answer("10.0.0.5\r\n");
        if (earlierFiles) {
            writeFile(program("kavro.cmd"), "");
            QVERIFY(QFile::setPermissions(program("kavro.cmd"), readByAll | writeByAll));
            writeFile(program("log.txt"), "0\r\n");
        }
        QVERIFY(QFile::setPermissions(startDirectory.path(), openToAll));
        QVERIFY(setProgramDirectory(readByAll | enterByAll));

        const QStringList probe = startedThere ? QStringList{program("startup_probe")}
                                               : QStringList{program("startup_probe"), QStringLiteral("forward")};
        const Ended ended =
            runToEnd(*asOtherUser + probe, startedThere ? programDirectory.path() : startDirectory.path());
        QCOMPARE(ended.output, output);
        QCOMPARE(ended.exitCode, exitCode);
        QCOMPARE(standIn->runs().size(), moduleRuns);
        if (earlierFiles)
            QCOMPARE(fileBytes(program("log.txt")), QByteArray("0\r\n"));
    }
};

QTEST_MAIN(MisbehavingModuleTest)
#include "misbehaving_module_test.moc"
