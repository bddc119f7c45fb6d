// The whole program beside the stand-in, started from another directory: where its start-up
// meets the module, and its command line run without a display.

#include "exchange_directory.h"
#include "window_test_support.h"

#include <sys/stat.h>
#include <unistd.h>

namespace {

// Root may write any folder and owns the temporary ones: the program runs as nobody.
const uid_t user = ::geteuid() == 0 ? 65534 : ::geteuid();

bool setMode(const QString &path, mode_t mode)
{
    return ::chmod(QFile::encodeName(path).constData(), mode) == 0;
}

const QByteArray reachable("Reachable at 11.77.0.1:5555");
const QByteArray said =
    "UPnP gateway: 10.77.0.1\n>[forward-reachable] " + reachable + "\n>>[forward-kept] The gateway keeps port 5555 open for 7 days.\n";
const QByteArray listed = "UDP\t3478\t10.0.0.5\t3478\tIPv4\tUPnP\t0\tno\tno\tno\tSkype\n"
                          "TCP\t8080\t10.0.0.5\t8080\tIPv4\tPCP\t7199\tyes\tyes\tyes\tHLMX 8080 TCP\n";

struct Ran {
    int status;
    QString out, err;
};

struct Check {
    QStringList arguments; // after "varneth"
    int status;
    QByteArray sent;      // the command file, blank-separated; empty: the module never ran
    QString says;         // a piece of standard output or error
    QByteArray answer = {}, errors = {}; // null answer: "0" (list: two ports)
    QString err = {}, out = {};          // all of each stream, when err is not null
};

} // namespace

Q_DECLARE_METATYPE(Check)

class StartupTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<StandIn> standIn;
    QTemporaryDir temporary;

    // `command` run from `directory` with `environment`; a crash's status is -1.
    static Ran run(const QStringList &command, const QProcessEnvironment &environment, const QString &directory = {})
    {
        QProcess program;
        program.setWorkingDirectory(directory);
        program.setProcessEnvironment(environment);
        program.start(command.first(), command.mid(1));
        if (!program.waitForFinished(-1))
            qFatal("%s did not end", qPrintable(command.first()));
        return {program.exitStatus() == QProcess::NormalExit ? program.exitCode() : -1,
                QString::fromUtf8(program.readAllStandardOutput()), QString::fromUtf8(program.readAllStandardError())};
    }

private slots:
    void initTestCase()
    {
        const QString program = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("Varneth"));
        QFile::remove(program);
        QVERIFY(QFile::copy(QStringLiteral(VARNETH_PROGRAM), program));
    }

    void init() { standIn = std::make_unique<StandIn>(QCoreApplication::applicationDirPath()); }

    // Each row answered "0" (list: two ports) or as it says: the status and the command file the
    // module got, or none. An answer is told as the box tells it: its first line and own sentences
    // on standard error (run as root, after the one that says whose record it changes), the
    // details with --verbose; the open ports table's rows on standard output.
    void argumentChecks_data()
    {
        QTest::addColumn<Check>("row");
        const QString kept("The gateway keeps port 5555 open for 7 days.\n");
        const QString offer("This machine can also be reached over IPv6: the port can be opened there too.");
        const QByteArray refused(">>[gateway-not-authorized] The router does not let port 5555 be opened (606).\n");
        QTest::newRow("success, with the details")
            << Check{{"forward", "10.0.0.5", "5555", "--verbose"}, 0, "kavro 10.0.0.5 5555 TRUE TRUE", "", "0\r\n", said,
                     "Port forward success!\n" + reachable + '\n' + kept + "\nUPnP gateway: 10.77.0.1\n" + reachable + '\n',
                     ""};
        QTest::newRow("a refusal with its headline")
            << Check{{"forward", "10.0.0.5", "5555", "--tcp"}, 1, "kavro 10.0.0.5 5555 TRUE FALSE", "", "Invalid IP\r\n",
                     ">[x] TCP 5555 refused\n" + refused,
                     "Port forward error: \nInvalid IP\nThe router does not let port 5555 be opened (606).\n", ""};
        QTest::newRow("success, IPv6 offered")
            << Check{{"forward", "10.0.0.5", "5555", "--udp"}, 0, "kavro 10.0.0.5 5555 FALSE TRUE", "", "0\r\n",
                     ">>[forward-ipv6-offer] " + offer.toLatin1() + '\n',
                     "Port forward success!\n" + offer + "\nAlso open over IPv6: varneth forward 10.0.0.5 5555 --udp --ipv6\n",
                     ""};
        QTest::newRow("list rows")
            << Check{{"list"}, 0, "list", "", listed, "", "",
                     "Protocol  Port  Address   How   Time left  Firewall entry  Made by\n"
                     "UDP       3478  10.0.0.5  UPnP  no end     no              another program (\"Skype\")\n"
                     "TCP       8080  10.0.0.5  PCP   kept open  yes             this tool\n"};
        QTest::newRow("nothing open")
            << Check{{"list"}, 0, "list", "", "", "", "This machine has no open ports through the router.\n", ""};
        QTest::newRow("list failed")
            << Check{{"list"}, 1, "list", "", "No router answered.\n",
                     ">>[gateway-none-answered] No router on this network answered.\n",
                     "Could not list the open ports.\nNo router answered.\nNo router on this network answered.\n", ""};
        QTest::newRow("forward, UDP, leading zeros")
            << Check{{"forward", "10.0.0.5", "00080", "--udp"}, 0, "kavro 10.0.0.5 80 FALSE TRUE", ""};
        QTest::newRow("--verbose first, TCP over IPv6 too")
            << Check{{"--verbose", "forward", "192.168.1.20", "65535", "--tcp", "--ipv6"}, 0,
                     "kavro 192.168.1.20 65535 TRUE FALSE TRUE", "Port forward success!"};
        QTest::newRow("close, both") << Check{{"close", "10.0.0.5", "8080"}, 0, "close 10.0.0.5 8080 TRUE TRUE", ""};
        QTest::newRow("addresses") << Check{{"addresses"}, 0, "getips", "0"};
        QTest::newRow("--help after a word") << Check{{"forward", "--help"}, 0, "", "Usage: varneth"};
        QTest::newRow("--version") << Check{{"--version"}, 0, "", "varneth 1.0.0"};
        const QString address("The address must be"), port("The port must be");
        QTest::newRow("a line feed after the address") << Check{{"forward", "10.0.0.5\n", "80"}, 2, "", address};
        QTest::newRow("256") << Check{{"forward", "10.0.0.256", "80"}, 2, "", address};
        QTest::newRow("a leading zero in the address") << Check{{"forward", "10.0.0.05", "80"}, 2, "", address};
        QTest::newRow("port 0") << Check{{"forward", "10.0.0.5", "0"}, 2, "", port};
        QTest::newRow("port 65536") << Check{{"close", "10.0.0.5", "65536"}, 2, "", port};
        QTest::newRow("port with a sign") << Check{{"forward", "10.0.0.5", "+80"}, 2, "", port};
        QTest::newRow("no port") << Check{{"forward", "10.0.0.5"}, 2, "", "needs an address and a port"};
        QTest::newRow("one operand too many") << Check{{"forward", "10.0.0.5", "80", "81"}, 2, "", "needs an address"};
        QTest::newRow("--tab on forward") << Check{{"forward", "10.0.0.5", "80", "--tab"}, 2, "", "takes only"};
        QTest::newRow("close --all with a port") << Check{{"close", "--all", "10.0.0.5", "80"}, 2, "", "--all"};
        QTest::newRow("close --all --tcp") << Check{{"close", "--all", "--tcp"}, 2, "", "--all"};
        QTest::newRow("renew with a word") << Check{{"renew", "now"}, 2, "", "takes no address"};
        QTest::newRow("--verbose and no command") << Check{{"--verbose", "frob"}, 2, "", "must be a command"};
    }

    void argumentChecks()
    {
        QFETCH(Check, row);
        standIn->answer("", row.answer.isNull() ? QByteArray("0\n") : row.answer, row.errors);
        if (row.answer.isNull())
            standIn->answer("list", listed);
        // The program beside the stand-in, started without a display, as root naming a user of sudo.
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            environment.remove(QLatin1String(name));
        environment.insert(QStringLiteral("TMPDIR"), temporary.path());
        environment.insert(QStringLiteral("XDG_STATE_HOME"), QStringLiteral("/state"));
        environment.insert(QStringLiteral("SUDO_USER"), QStringLiteral("alice"));
        const QString program = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("Varneth"));
        const Ran ran = run(QStringList{program} + row.arguments, environment);
        QCOMPARE(ran.status, row.status);
        QVERIFY2((ran.out + ran.err).contains(row.says), qPrintable(ran.out + ran.err));
        const QString whose("Running as root: this changes root's record of open ports (/state/varneth) and root's "
                            "renewal timer, not alice's: run it without sudo to keep ports open for alice.\n");
        if (!row.err.isNull()) {
            QCOMPARE(ran.out, row.out);
            QCOMPARE(ran.err, (row.arguments.first() == "forward" && ::geteuid() == 0 ? whose : QString()) + row.err);
        }
        const QList<ModuleRun> runs = standIn->runs();
        QCOMPARE(runs.size(), row.sent.isEmpty() ? 0 : 1);
        if (runs.isEmpty())
            return;
        QCOMPARE(runs[0].commandFile, QByteArray(row.sent).replace(' ', '\n') + '\n');
        // In a folder of this run's own, under TMPDIR, and gone afterwards.
        QCOMPARE(QFileInfo(runs[0].directory).path(), QFileInfo(temporary.path()).canonicalFilePath());
        QCOMPARE(runs[0].mode, QByteArray("700"));
        QVERIFY(!QFileInfo::exists(runs[0].directory));
    }

    // Started from another directory, as `user` (as root beside another user's folder, which only
    // root could open). The program folder is the exchange folder only when it is the user's, nobody
    // else may write there, and it is no installed copy's; else the user's own folder "varneth",
    // made mode 0700, and entered only as the user's alone, never through a link.
    void startUp_data()
    {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<QString>("program");  // its folder: "ours" 0755, "open" 0777, "others'", "installed"
        // Where the window meets the module ("cache": the user has no runtime folder); empty: nowhere.
        QTest::addColumn<QString>("exchange");
        QTest::addColumn<QString>("there");    // at the user's "varneth" before: a mode, a link to one of theirs, another's
        const QByteArray address("10.0.0.5\n");
        QTest::newRow("ERROR ends it") << QByteArray("ERROR\n") << "ours" << "program" << "";
        QTest::newRow("others may write: $XDG_RUNTIME_DIR/varneth") << address << "open" << "runtime" << "";
        QTest::newRow("another user's: ~/.cache/varneth") << address << "others'" << "cache" << "";
        QTest::newRow("installed, ours: $XDG_RUNTIME_DIR/varneth") << address << "installed" << "runtime" << "";
        QTest::newRow("the user's own there, 0700") << address << "open" << "runtime" << "0700";
        for (const char *there : {"0750", "0701", "link", "other"})
            QTest::newRow(qPrintable(QStringLiteral("not the user's alone there: ") + there))
                << address << "open" << "" << there;
    }

    void startUp()
    {
        QFETCH(QByteArray, answer);
        QFETCH(QString, program);
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
        standIn.answer("", answer);
        const QString probe = QDir(programDirectory).filePath(QStringLiteral("startup_test"));
        QVERIFY(QFile::copy(QCoreApplication::applicationFilePath(), probe));
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
        environment.insert(QLatin1String(exchange == QLatin1String("cache") ? "HOME" : "XDG_RUNTIME_DIR"),
                           userDirectory.path());
        const QString expected = exchange == QLatin1String("program") ? programDirectory
                                 : exchange == QLatin1String("runtime") ? userDirectory.filePath(QStringLiteral("varneth"))
                                                                        : userDirectory.filePath(QStringLiteral(".cache/varneth"));
        QStringList command{probe, QStringLiteral("probe")};
        if (::geteuid() == 0 && owner != 0)
            command = QStringList{"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"} + command;
        const Ran ran = run(command, environment, startDirectory.path());
        const bool ends = answer == "ERROR\n" || exchange.isEmpty();
        QCOMPARE(ran.status, ends ? 1 : 0);
        QCOMPARE(ran.out,
                 QString(exchange.isEmpty() ? "FATAL ERROR: Could not send command to internal port forwarding module.\n"
                         : ends             ? "Could not list this computer's network addresses.\n"
                                            : "window\n"));
        const QList<ModuleRun> runs = standIn.runs();
        QCOMPARE(runs.size(), exchange.isEmpty() ? 0 : 1);
        if (!runs.isEmpty()) {
            QCOMPARE(runs[0].commandFile, QByteArray("getips\n"));
            QCOMPARE(runs[0].directory, QFileInfo(expected).canonicalFilePath());
        }
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
        Person person({}, {}, stdout);
        MainWindow window;
        std::printf("window\n");
        return 0;
    }
    StartupTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "startup_test.moc"
