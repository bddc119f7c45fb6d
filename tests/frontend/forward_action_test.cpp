// Pressing "Forward": the input checks, the command sent, where the exchange happens
// and the outcome shown, which is never an earlier answer nor one from a module that
// misbehaved.

#include "mainwindow.h"
#include "window_test_support.h"

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

const QString noProtocol =
    QStringLiteral("Trying to forward no protocol, please check that UDP and/or TCP are checked.");
const QString badIp =
    QStringLiteral("Invalid IP. Please check and use the scroll box next to the IP edit to select one.");
const QString portZero = QStringLiteral("Cannot forward port 0, please check the port edit and try again.");
const QString success = QStringLiteral("Port forward success!");

} // namespace

class ForwardActionTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<StandIn> standIn;
    QTemporaryDir startDirectory;
    std::unique_ptr<MainWindow> window;

    QString status() const { return formObject<QLabel>(*window, "lblStatus")->text(); }

    QList<ShownBox> pressForward()
    {
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
        for (const QString &path : {programFile(QStringLiteral("kavro.cmd")), programFile(QStringLiteral("log.txt"))}) {
            QFile::remove(path);
            QDir(path).removeRecursively(); // left by a trouble
        }
    }

    // A form that fails a check shows that check's reason alone and sends nothing;
    // one that passes them all sends its command.
    void checksThenCommand_data()
    {
        QTest::addColumn<bool>("tcp");
        QTest::addColumn<bool>("udp");
        QTest::addColumn<QString>("ip");
        QTest::addColumn<QString>("port");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("sent"); // the command's lines after "kavro"; empty: none sent
        QTest::newRow("no protocol, nothing else right") << false << false << "" << "" << noProtocol << "";
        QTest::newRow("no protocol, all else right") << false << false << "10.0.0.5" << "80" << noProtocol << "";
        QTest::newRow("three-character ip") << true << false << "1.2" << "80" << badIp << "";
        QTest::newRow("empty ip, udp") << false << true << "" << "0" << badIp << "";
        QTest::newRow("empty port") << true << false << "10.0.0.5" << "" << portZero << "";
        QTest::newRow("port 0") << true << true << "10.0.0.5" << "00000" << portZero << "";
        QTest::newRow("leading zeros dropped") << true << false << "10.0.0.5" << "00080" << success
                                               << "10.0.0.5 80 TRUE FALSE";
        QTest::newRow("largest port") << true << false << "10.0.0.5" << "99999" << success
                                      << "10.0.0.5 99999 TRUE FALSE";
        QTest::newRow("both protocols") << true << true << "192.168.1.20" << "5555" << success
                                        << "192.168.1.20 5555 TRUE TRUE";
        QTest::newRow("udp alone") << false << true << "10.0.0.5" << "1" << success << "10.0.0.5 1 FALSE TRUE";
        QTest::newRow("four letters pass unchanged") << true << false << "abcd" << "80" << success
                                                     << "abcd 80 TRUE FALSE";
    }

    void checksThenCommand()
    {
        QFETCH(bool, tcp);
        QFETCH(bool, udp);
        QFETCH(QString, ip);
        QFETCH(QString, port);
        QFETCH(QString, shown);
        QFETCH(QString, sent);
        writeFile(programFile(QStringLiteral("kavro.cmd")), "earlier command\n");
        standIn->answer("0\n");
        fillForm(*window, tcp, udp, ip, port);

        const QList<ShownBox> boxes = pressForward();
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes[0].text, shown);
        QCOMPARE(boxes[0].icon, shown == success ? QMessageBox::Information : QMessageBox::Critical);
        QVERIFY(boxes[0].parentless);
        QCOMPARE(status(), QStringLiteral("Ready"));
        const QByteArray commandFile = sent.isEmpty() ? QByteArray("earlier command\n")
                                                      : textLines(QStringList{"kavro"} + sent.split(QLatin1Char(' ')));
        QCOMPARE(fileBytes(programFile(QStringLiteral("kavro.cmd"))), commandFile);
        // Both exchanges ran beside the program.
        const QList<ModuleRun> runs = standIn->runs();
        QCOMPARE(runs.size(), sent.isEmpty() ? 1 : 2);
        const QString programDirectory = QFileInfo(QCoreApplication::applicationDirPath()).canonicalFilePath();
        QCOMPARE(runs[0].directory, programDirectory);
        QCOMPARE(runs[0].commandFile, textLines({QStringLiteral("getips")}));
        if (!sent.isEmpty()) {
            QCOMPARE(runs[1].directory, programDirectory);
            QCOMPARE(runs[1].commandFile, commandFile);
        }
    }

    // Each with an earlier success left in the program directory.
    void outcome_data()
    {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<Trouble>("trouble");
        QTest::addColumn<QStringList>("boxes");
        QTest::addColumn<int>("moduleRuns");
        const QStringList readFailed{readFailure, errorOutcome};
        const QStringList sendFailed{sendFailure, errorOutcome};
        const auto error = [](const char *text) { return QStringList{"Port forward error: \n" + QString(text)}; };
        QTest::newRow("success") << QByteArray("0\n") << Trouble::None << QStringList{success} << 1;
        QTest::newRow("first line decides") << QByteArray("0\nInvalid IP\n") << Trouble::None << QStringList{success}
                                            << 1;
        QTest::newRow("module error text") << QByteArray("Invalid IP\r\n") << Trouble::None << error("Invalid IP") << 1;
        QTest::newRow("zero with a blank") << QByteArray("0 \n") << Trouble::None << error("0 ") << 1;
        QTest::newRow("blank before zero") << QByteArray(" 0\n") << Trouble::None << error(" 0") << 1;
        QTest::newRow("empty result") << QByteArray("") << Trouble::None << error("") << 1;
        QTest::newRow("module writes nothing") << QByteArray() << Trouble::None << readFailed << 1;
        QTest::newRow("module missing") << QByteArray() << Trouble::ModuleMissing << readFailed << 0;
        // Not run on a command file that may still hold an earlier command.
        QTest::newRow("command file is a directory") << QByteArray("0\n") << Trouble::CommandFileIsDirectory
                                                     << sendFailed << 0;
#ifdef Q_OS_LINUX
        QTest::newRow("disk full") << QByteArray("0\n") << Trouble::DiskFull << sendFailed << 0;
#endif
        QTest::newRow("result file is a directory") << QByteArray("0\n") << Trouble::ResultFileIsDirectory
                                                    << readFailed << 0;
#ifdef Q_OS_UNIX
        // Another user's plants, never followed or waited on.
        QTest::newRow("command file links to a root-only file") << QByteArray("0\n") << Trouble::CommandFileLinksToSecret
                                                                << sendFailed << 0;
        QTest::newRow("command file links to nothing") << QByteArray("0\n") << Trouble::CommandFileLinksToNothing
                                                       << sendFailed << 0;
        QTest::newRow("command file is a FIFO") << QByteArray("0\n") << Trouble::CommandFileIsFifo << sendFailed << 0;
        QTest::newRow("result file links to a 0") << QByteArray("0\n") << Trouble::ResultFileLinksToSuccess
                                                  << readFailed << 1;
        QTest::newRow("result file is a FIFO with a 0 waiting") << QByteArray("0\n") << Trouble::ResultFileIsFifo
                                                                << readFailed << 1;
#endif
        for (const Misbehaviour &row : misbehaviours())
            QTest::newRow(row.name) << row.answer << row.trouble << readFailed << 1;
    }

    void outcome()
    {
        QFETCH(QByteArray, answer);
        QFETCH(Trouble, trouble);
        QFETCH(QStringList, boxes);
        QFETCH(int, moduleRuns);
        const QString directory = QCoreApplication::applicationDirPath();
        QVERIFY(standIn->arrange(directory, directory, answer, trouble));
        fillForm(*window, true, false, QStringLiteral("10.0.0.5"), QStringLiteral("5555"));
        QElapsedTimer clock;
        clock.start();

        const QList<ShownBox> shown = pressForward();
        const qint64 elapsed = clock.elapsed();
        const bool succeeded = boxes.last() == success;
        QStringList texts;
        for (const ShownBox &box : shown) {
            texts.append(box.text);
            QCOMPARE(box.icon, succeeded ? QMessageBox::Information : QMessageBox::Critical);
            QVERIFY(box.parentless);
        }
        QCOMPARE(shown.last().format, Qt::PlainText);
        QCOMPARE(texts, boxes);
        const QString statusAfter = succeeded ? QStringLiteral("Ready") : failedStatus;
        QCOMPARE(shown.last().statusLine, statusAfter); // already while the box is open
        QCOMPARE(status(), statusAfter);
        QCOMPARE(standIn->runs().size(), 1 + moduleRuns);
        QVERIFY(standIn->elsewhereUntouched());
        // Within seconds, or just past the wait for a module that does not end.
        const bool lingers = trouble == Trouble::ModuleLingers;
        QVERIFY2(elapsed < (lingers ? 15000 : 5000), qPrintable(QString::number(elapsed)));
        if (lingers) {
            QVERIFY(elapsed >= 10000);
#ifdef Q_OS_UNIX
            // The module was ended once the press was over.
            QCOMPARE(::kill(static_cast<pid_t>(standIn->runs().last().pid), 0), -1);
            QCOMPARE(errno, ESRCH);
#endif
        }
    }

    // The module's two streams become the box's details, bounded and plain; its
    // "Reachable at" line the success box's informative text.
    void details_data()
    {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<QByteArray>("standardError");
        QTest::addColumn<QString>("details");
        QTest::addColumn<QString>("informative");
        const QByteArray reachable("The firewall is off: no port needs to be let in.\nReachable at 11.77.0.1:5555\n");
        QTest::newRow("success names the address")
            << QByteArray("0\n") << reachable
            << "The firewall is off: no port needs to be let in.\nReachable at 11.77.0.1:5555\n\nfwd 10.0.0.5 port:5555\n"
            << "Reachable at 11.77.0.1:5555";
        QTest::newRow("an error keeps its details, names nothing")
            << QByteArray("Invalid IP\n") << reachable
            << "The firewall is off: no port needs to be let in.\nReachable at 11.77.0.1:5555\n\nfwd 10.0.0.5 port:5555\n"
            << "";
        QTest::newRow("markup stays text, control characters go")
            << QByteArray("0\n") << QByteArray("<b>bold</b>\x1b[31m\a\r\nReachable at <b>1.2.3.4</b>:80\n")
            << "<b>bold</b>[31m\nReachable at <b>1.2.3.4</b>:80\n\nfwd 10.0.0.5 port:5555\n"
            << "";
        QTest::newRow("not at a line's start") << QByteArray("0\n") << QByteArray("x Reachable at 1.2.3.4:80")
                                               << "x Reachable at 1.2.3.4:80\n\nfwd 10.0.0.5 port:5555\n" << "";
    }

    void details()
    {
        QFETCH(QByteArray, answer);
        QFETCH(QByteArray, standardError);
        QFETCH(QString, details);
        QFETCH(QString, informative);
        standIn->answer(answer);
        standIn->speak("fwd 10.0.0.5 port:5555\n", standardError);
        fillForm(*window, true, false, QStringLiteral("10.0.0.5"), QStringLiteral("5555"));
        const QList<ShownBox> shown = pressForward();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].details, details);
        QCOMPARE(shown[0].informative, informative);
        QCOMPARE(shown[0].format, Qt::PlainText);
    }

    void floodedDetailsAreBounded()
    {
        standIn->answer("0\n");
        standIn->speak(QByteArray(1 << 20, 'o'), QByteArray(1 << 20, 'e'));
        fillForm(*window, true, false, QStringLiteral("10.0.0.5"), QStringLiteral("5555"));
        const QList<ShownBox> shown = pressForward();
        QCOMPARE(shown.size(), 1);
        const QString cut = QStringLiteral("\n[more output not shown]\n");
        QCOMPARE(shown[0].details, QString(16384, 'e') + cut + '\n' + QString(16384, 'o') + cut);
        QCOMPARE(shown[0].text, success);
    }
};

QTEST_MAIN(ForwardActionTest)
#include "forward_action_test.moc"
