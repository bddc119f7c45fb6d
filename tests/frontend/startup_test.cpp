// The whole program started from another directory beside the stand-in: its one box and
// exit status after an ERROR answer, and where it meets the module, never among the start directory's
// files: in the user's own exchange directory when not in its program folder.

#include "exchange_directory.h"
#include "window_test_support.h"

#include <QProcess>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// Root may write any folder and owns the temporary ones: the program runs as nobody.
const uid_t user = ::geteuid() == 0 ? 65534 : ::geteuid();
const char *const own[] = {"kavro.cmd", "log.txt"};

bool setMode(const QString &path, mode_t mode)
{
    return ::chmod(QFile::encodeName(path).constData(), mode) == 0;
}

} // namespace

class StartupTest : public QObject
{
    Q_OBJECT

private slots:
    // The start directory holds the user's own log.txt and kavro.cmd; the program runs as
    // `user` (as root beside another user's folder, which only root could open). The program folder is the exchange folder only when it is the user's, nobody
    // else may write there, and it is no installed copy's; else the user's own folder
    // "varneth", made mode 0700, and entered only as the user's alone, never through a link.
    void startUp_data()
    {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<QString>("program");  // its folder: "ours" 0755, "open" 0777, "others'", "installed"
        QTest::addColumn<QString>("fallback"); // what the user has: "runtime" or "cache" folder, or "none"
        QTest::addColumn<QString>("exchange"); // where the window meets the module; empty: nowhere
        QTest::addColumn<QString>("there");    // at the user's "varneth" before: a mode, a link to one of theirs, another's
        const QByteArray address("10.0.0.5\n");
        QTest::newRow("ERROR ends it") << QByteArray("ERROR\n") << "ours" << "runtime" << "program" << "";
        QTest::newRow("others may write: $XDG_RUNTIME_DIR/varneth") << address << "open" << "runtime" << "runtime" << "";
        QTest::newRow("another user's: ~/.cache/varneth") << address << "others'" << "cache" << "cache" << "";
        QTest::newRow("installed, ours: $XDG_RUNTIME_DIR/varneth") << address << "installed" << "runtime" << "runtime" << "";
        QTest::newRow("no folder of our own") << address << "open" << "none" << "" << "";
        QTest::newRow("the user's own there, 0700") << address << "open" << "runtime" << "runtime" << "0700";
        for (const char *there : {"0750", "0701", "link", "other"})
            QTest::newRow(qPrintable(QStringLiteral("not the user's alone there: ") + there))
                << address << "open" << "runtime" << "" << there;
    }

    void startUp()
    {
        QFETCH(QByteArray, answer);
        QFETCH(QString, program);
        QFETCH(QString, fallback);
        QFETCH(QString, exchange);
        QFETCH(QString, there);
        if ((program == QLatin1String("others'") || there == QLatin1String("other")) && ::geteuid() != 0)
            QSKIP("only root can give a folder to another user");
        const uid_t owner = there == QLatin1String("other") ? 0 : user;
        QTemporaryDir top, startDirectory, userDirectory;
        const QString programDirectory =
            program == QLatin1String("installed") ? top.filePath(QStringLiteral("usr/lib/varneth")) : top.path();
        QVERIFY(QDir().mkpath(programDirectory));
        StandIn standIn(programDirectory);
        standIn.answer(answer);
        const QString probe = QDir(programDirectory).filePath(QStringLiteral("startup_test"));
        QVERIFY(QFile::copy(QCoreApplication::applicationFilePath(), probe));
        for (const char *name : own)
            writeFile(startDirectory.filePath(QLatin1String(name)), QByteArray("own ") + name);
        // The folders on the way down stay root's; only the program folder may be the user's.
        for (QString folder = programDirectory; folder.startsWith(top.path()); folder = QFileInfo(folder).path())
            QVERIFY(setMode(folder, 0755));
        QVERIFY(setMode(programDirectory, program == QLatin1String("open") ? 0777 : 0755) &&
                setMode(standIn.file("."), 0777));
        if (program != QLatin1String("others'"))
            QCOMPARE(::chown(QFile::encodeName(programDirectory).constData(), owner, gid_t(-1)), 0);
        QCOMPARE(::chown(QFile::encodeName(userDirectory.path()).constData(), owner, gid_t(-1)), 0);
        const QString made = userDirectory.filePath(QStringLiteral("varneth"));
        const QString folder = there == QLatin1String("link") ? userDirectory.filePath(QStringLiteral("target")) : made;
        if (!there.isEmpty())
            QVERIFY(QDir().mkdir(folder) && setMode(folder, there.startsWith('0') ? there.toUInt(nullptr, 8) : 0700) &&
                    (there == QLatin1String("link") ? QFile::link(folder, made) : true));
        if (!there.isEmpty())
            QCOMPARE(::lchown(QFile::encodeName(folder).constData(), owner == 0 ? 65534 : owner, gid_t(-1)), 0);

        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QStringLiteral("XDG_RUNTIME_DIR"));
        environment.insert(QStringLiteral("HOME"), QStringLiteral("/nonexistent"));
        if (fallback != QLatin1String("none"))
            environment.insert(QLatin1String(fallback == QLatin1String("runtime") ? "XDG_RUNTIME_DIR" : "HOME"),
                               userDirectory.path());
        const QString expected = exchange == QLatin1String("program") ? programDirectory
                                 : exchange == QLatin1String("runtime") ? userDirectory.filePath(QStringLiteral("varneth"))
                                                                        : userDirectory.filePath(QStringLiteral(".cache/varneth"));
        QStringList command{probe, QStringLiteral("probe")};
        if (::geteuid() == 0 && owner != 0)
            command = QStringList{"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"} + command;

        QProcess process;
        process.setWorkingDirectory(startDirectory.path());
        process.setProcessEnvironment(environment);
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start(command.first(), command.mid(1));
        QVERIFY(process.waitForFinished(-1));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        const bool ends = answer == "ERROR\n" || exchange.isEmpty();
        QCOMPARE(process.exitCode(), ends ? 1 : 0);
        QCOMPARE(process.readAllStandardOutput(),
                 QByteArray(exchange.isEmpty() ? "FATAL ERROR: Could not send command to internal port forwarding module.\n"
                            : ends             ? "Could not list this computer's network addresses.\n"
                                               : "window\n"));
        const QList<ModuleRun> runs = standIn.runs();
        QCOMPARE(runs.size(), exchange.isEmpty() ? 0 : 1);
        if (!runs.isEmpty()) {
            QCOMPARE(runs[0].commandFile, QByteArray("getips\n"));
            QCOMPARE(runs[0].directory, QFileInfo(expected).canonicalFilePath());
            QCOMPARE(runs[0].mode, QByteArray(exchange == QLatin1String("program") ? "755" : "700"));
        }
        for (const char *name : own)
            QCOMPARE(fileBytes(startDirectory.filePath(QLatin1String(name))), QByteArray("own ") + name);
    }

    // A folder not entered leaves the current directory as it was.
    void notEnteredStaysPut()
    {
        QTemporaryDir parent;
        const QString path = parent.filePath(QStringLiteral("varneth"));
        QVERIFY(QDir().mkdir(path) && setMode(path, 0750));
        const QString before = QDir::currentPath();
        QVERIFY(!enterUserExchangeDirectory(parent.path()));
        QCOMPARE(QDir::currentPath(), before);
    }
};

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    if (application.arguments().value(1) == QLatin1String("probe")) {
        // The program's start-up, each box's text written out as it is closed.
        BoxCloser closer(stdout);
        MainWindow window;
        std::printf("window\n");
        return 0;
    }
    StartupTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "startup_test.moc"
