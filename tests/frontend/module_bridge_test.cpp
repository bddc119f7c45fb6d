// The exchanges with the module: where they happen, and that no earlier answer
// is ever taken for this one.

#include "mainwindow.h"
#include "window_test_support.h"

#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <csignal>
#endif

namespace {

const QString sendFailure =
    QStringLiteral("FATAL ERROR: Could not send command to internal port forwarding module.");
const QString readFailure = QStringLiteral("FATAL ERROR: Could not read internal port forwarding module.");
const QString errorOutcome = QStringLiteral("Port forward error: \nERROR");

QString canonical(const QString &path)
{
    return QFileInfo(path).canonicalFilePath();
}

QString programFile(const char *name)
{
    return QDir(QCoreApplication::applicationDirPath()).filePath(QString::fromLatin1(name));
}

QStringList texts(const QList<ShownBox> &boxes)
{
    QStringList texts;
    for (const ShownBox &box : boxes) {
        if (box.icon != QMessageBox::Critical || !box.parentless)
            texts.append(QStringLiteral("(not a critical box without parent)"));
        texts.append(box.text);
    }
    return texts;
}

} // namespace

class ModuleBridgeTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<StandIn> standIn;
    QTemporaryDir startDirectory;
    std::unique_ptr<MainWindow> window;

    QList<ShownBox> pressForward()
    {
        formObject<QCheckBox>(*window, "chkTCP")->setChecked(true);
        BoxCloser closer(formObject<QLabel>(*window, "lblStatus"));
        QTest::mouseClick(formObject<QPushButton>(*window, "btnForward"), Qt::LeftButton);
        return closer.boxes;
    }

private slots:
    void init()
    {
        QVERIFY(StandIn::installIn(QCoreApplication::applicationDirPath()));
        standIn = std::make_unique<StandIn>();
        standIn->answer(textLines({QStringLiteral("10.0.0.5")}));
        window = startWindow(startDirectory.path());
    }

    void cleanup()
    {
        window.reset();
        standIn.reset();
        clearProgramDirectory();
    }

    void startUpInStartDirectoryLaterBesideTheProgram()
    {
        const QList<ModuleRun> startUp = standIn->runs();
        QCOMPARE(startUp.size(), 1);
        QCOMPARE(startUp[0].directory, canonical(startDirectory.path()));
        QCOMPARE(startUp[0].commandFile, textLines({QStringLiteral("getips")}));
        // Both files stay where the exchange left them.
        QCOMPARE(fileBytes(startDirectory.filePath(QStringLiteral("kavro.cmd"))), textLines({QStringLiteral("getips")}));
        QCOMPARE(fileBytes(startDirectory.filePath(QStringLiteral("log.txt"))), textLines({QStringLiteral("10.0.0.5")}));
        QCOMPARE(canonical(QDir::currentPath()), canonical(QCoreApplication::applicationDirPath()));

        standIn->answer("0\n");
        const QList<ShownBox> boxes = pressForward();
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes[0].text, QStringLiteral("Port forward success!"));
        const QList<ModuleRun> runs = standIn->runs();
        QCOMPARE(runs.size(), 2);
        QCOMPARE(runs[1].directory, canonical(QCoreApplication::applicationDirPath()));
        QCOMPARE(fileBytes(programFile("kavro.cmd")), runs[1].commandFile);
    }

    void earlierSuccessIsNeverShown_data()
    {
        QTest::addColumn<QString>("module");
        QTest::newRow("module writes nothing") << "silent";
        QTest::newRow("module missing") << "missing";
#ifdef Q_OS_UNIX
        QTest::newRow("module outlasts the wait") << "slow";
#endif
    }

    void earlierSuccessIsNeverShown()
    {
        QFETCH(QString, module);
        writeFile(programFile("log.txt"), "0\n");
        standIn->answerNothing();
        if (module == QLatin1String("missing"))
            QVERIFY(QFile::remove(programFile(qPrintable(moduleFileName()))));
        if (module == QLatin1String("slow")) {
            standIn->sleepFor(15000);
            standIn->answer("0\n");
        }
        QElapsedTimer clock;
        clock.start();

        const QList<ShownBox> boxes = pressForward();
        QCOMPARE(texts(boxes), QStringList({readFailure, errorOutcome}));
        QCOMPARE(boxes[1].statusLine, QStringLiteral("Ready (error ocurred)"));
#ifdef Q_OS_UNIX
        if (module == QLatin1String("slow")) {
            QVERIFY(clock.elapsed() >= 10000);
            // The module was ended once the press was over.
            QCOMPARE(::kill(static_cast<pid_t>(standIn->runs().last().pid), 0), -1);
            QCOMPARE(errno, ESRCH);
            QVERIFY(!QFile::exists(programFile("log.txt")));
        }
#endif
    }

    void unwrittenCommandIsNotRun_data()
    {
        QTest::addColumn<QString>("obstacle");
        QTest::newRow("command file is a directory") << "directory";
#ifdef Q_OS_LINUX
        QTest::newRow("disk full") << "full";
#endif
    }

    void unwrittenCommandIsNotRun()
    {
        QFETCH(QString, obstacle);
        // An earlier forward command that must not run again.
        writeFile(programFile("log.txt"), "0\n");
        if (obstacle == QLatin1String("directory"))
            QVERIFY(QDir().mkpath(programFile("kavro.cmd")));
        else
            QVERIFY(QFile::link(QStringLiteral("/dev/full"), programFile("kavro.cmd")));
        standIn->answer("0\n");

        const QList<ShownBox> boxes = pressForward();
        QCOMPARE(texts(boxes), QStringList({sendFailure, errorOutcome}));
        QCOMPARE(standIn->runs().size(), 1); // only the start-up ran
    }

    void resultThatCannotBeReadIsAnError()
    {
        QVERIFY(QDir().mkpath(programFile("log.txt/inside")));
        standIn->answer("0\n");
        QCOMPARE(texts(pressForward()), QStringList({readFailure, errorOutcome}));
        QCOMPARE(standIn->runs().size(), 1);
    }
};

QTEST_MAIN(ModuleBridgeTest)
#include "module_bridge_test.moc"
