// The window beside the stand-in module: the addresses its start-up got, the input
// checks, and the outcome of a Forward press, which is never an earlier answer nor one
// from a module that misbehaved.

#include "mainwindow.h"
#include "window_test_support.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>

#include <csignal>

namespace {

const QString success = QStringLiteral("Port forward success!");
const QString reachable = QStringLiteral("Reachable at 11.77.0.1:5555");

template <class T>
T *child(const QObject &window, const char *name)
{
    return window.findChild<T *>(QString::fromLatin1(name));
}

QString programFile(const char *name)
{
    return QDir(QCoreApplication::applicationDirPath()).filePath(QString::fromLatin1(name));
}

struct Selection {
    QByteArray answer; // the start-up's
    QList<int> values; // set on the spin box in turn
    int index;         // of the address shown; -1: none
};

struct Check {
    bool tcp, udp;
    QString ip, port, shown;
    QByteArray sent; // the command after "kavro", blank-separated; empty: none
};

struct Outcome {
    QByteArray answer; // null: none written
    QByteArray trouble;
    QStringList shown;
    int moduleRuns;
};

} // namespace

Q_DECLARE_METATYPE(Selection)
Q_DECLARE_METATYPE(Check)
Q_DECLARE_METATYPE(Outcome)

class WindowTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir startDirectory;
    std::unique_ptr<StandIn> standIn;

    // As if started from elsewhere, the start-up's module answering `addresses`.
    std::unique_ptr<MainWindow> start(const QByteArray &addresses)
    {
        standIn->answer(addresses);
        QDir::setCurrent(startDirectory.path());
        BoxCloser closer;
        auto window = std::make_unique<MainWindow>();
        if (!closer.boxes.isEmpty())
            QTest::qFail("the start-up showed a box", __FILE__, __LINE__);
        return window;
    }

    QList<ShownBox> press(MainWindow &window, bool tcp, bool udp, const QString &ip, const QString &port)
    {
        child<QCheckBox>(window, "chkTCP")->setChecked(tcp);
        child<QCheckBox>(window, "ChkUDP")->setChecked(udp);
        child<QLineEdit>(window, "editip")->setText(ip);
        child<QLineEdit>(window, "editport")->setText(port);
        BoxCloser closer;
        QTest::mouseClick(child<QPushButton>(window, "btnForward"), Qt::LeftButton);
        return closer.boxes;
    }

private slots:
    void init()
    {
        standIn = std::make_unique<StandIn>(QCoreApplication::applicationDirPath());
        QFile::remove(programFile("kavro.cmd")); // may be a row's planted link
    }

    void addressSelector_data()
    {
        QTest::addColumn<Selection>("row");
        const QByteArray three("10.0.0.1\n10.0.0.2\n10.0.0.3\n");
        QTest::newRow("three, at start") << Selection{three, {}, 0};
        QTest::newRow("three, past the last") << Selection{three, {3}, 2};
        QTest::newRow("three, back to first") << Selection{three, {2, 0}, 0};
        QTest::newRow("none") << Selection{"", {4}, -1};
        // Only the exact word ends the program.
        QTest::newRow("lower-case error") << Selection{"error\n", {}, 0};
        QTest::newRow("ERROR with a blank") << Selection{"ERROR \n10.0.0.1\n", {1}, 1};
    }

    void addressSelector()
    {
        QFETCH(Selection, row);
        const auto window = start(row.answer);
        auto *spin = child<QSpinBox>(*window, "spinBox");
        for (int value : row.values)
            spin->setValue(value);
        const QStringList addresses = QString::fromLatin1(row.answer).split(QLatin1Char('\n'));
        QCOMPARE(child<QLineEdit>(*window, "editip")->text(), row.index < 0 ? QString() : addresses.at(row.index));
        QCOMPARE(spin->value(), row.index < 0 ? row.values.last() : row.index);
    }

    // A form that fails a check shows its reason and runs no module; one that passes sends its command.
    void inputChecks_data()
    {
        QTest::addColumn<Check>("row");
        const QString badIp("Invalid IP. Please check and use the scroll box next to the IP edit to select one.");
        const QString portZero("Cannot forward port 0, please check the port edit and try again.");
        const QString noProtocol("Trying to forward no protocol, please check that UDP and/or TCP are checked.");
        QTest::newRow("no protocol") << Check{false, false, "10.0.0.5", "80", noProtocol, ""};
        QTest::newRow("three-character ip") << Check{true, false, "1.2", "80", badIp, ""};
        QTest::newRow("empty port") << Check{true, false, "10.0.0.5", "", portZero, ""};
        QTest::newRow("port 0") << Check{true, true, "10.0.0.5", "00000", portZero, ""};
        QTest::newRow("tcp, 00080") << Check{true, false, "10.0.0.5", "00080", success, "10.0.0.5 80 TRUE FALSE"};
        QTest::newRow("udp, four letters") << Check{false, true, "abcd", "99999", success, "abcd 99999 FALSE TRUE"};
        QTest::newRow("both") << Check{true, true, "192.168.1.20", "1", success, "192.168.1.20 1 TRUE TRUE"};
    }

    void inputChecks()
    {
        QFETCH(Check, row);
        const auto window = start("10.0.0.5\n");
        standIn->answer("0\n");
        const QList<ShownBox> boxes = press(*window, row.tcp, row.udp, row.ip, row.port);
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes[0].text, row.shown);
        const QList<ModuleRun> runs = standIn->runs();
        QCOMPARE(runs.size(), row.sent.isEmpty() ? 1 : 2);
        if (!row.sent.isEmpty())
            QCOMPARE(runs[1].commandFile, QByteArray("kavro " + row.sent).replace(' ', '\n') + '\n');
    }

    // Each with an earlier success left as log.txt and a "Reachable at" line on standard error.
    void outcome_data()
    {
        QTest::addColumn<Outcome>("row");
        const QString error("Port forward error: \n");
        const QStringList readFailed{"FATAL ERROR: Could not read internal port forwarding module.", error + "ERROR"};
        const QStringList sendFailed{"FATAL ERROR: Could not send command to internal port forwarding module.",
                                     error + "ERROR"};
        const QByteArray firewall("Failed to initialize firewall. Try running with proper admin privileges.");
        QTest::newRow("success") << Outcome{"0\r\n", "", {success}, 1};
        QTest::newRow("first line decides") << Outcome{"0\nInvalid IP\n", "", {success}, 1};
        QTest::newRow("Invalid IP") << Outcome{"Invalid IP\r\n", "", {error + "Invalid IP"}, 1};
        QTest::newRow("firewall") << Outcome{firewall + "\r\n", "", {error + firewall}, 1};
        QTest::newRow("zero with a blank") << Outcome{"0 \n", "", {error + "0 "}, 1};
        QTest::newRow("empty result") << Outcome{"", "", {error}, 1};
        QTest::newRow("nothing written") << Outcome{{}, "", readFailed, 1};
        QTest::newRow("killed after a whole 0") << Outcome{"0\r\n", "kill", readFailed, 1};
        QTest::newRow("running past the wait after a 0") << Outcome{"0", "linger", readFailed, 1};
        QTest::newRow("log.txt left as a link to a 0") << Outcome{"0\n", "link", readFailed, 1};
        QTest::newRow("log.txt left as a FIFO") << Outcome{"0\n", "fifo", readFailed, 1};
        QTest::newRow("kavro.cmd planted as a link") << Outcome{"0\n", "command link", sendFailed, 0};
        QTest::newRow("a line too long") << Outcome{"0\r\n" + QByteArray(257, 'A') + "\r\n", "", readFailed, 1};
        QTest::newRow("too many lines") << Outcome{QByteArray("0\r\n").repeated(4097), "", readFailed, 1};
        QTest::newRow("invalid UTF-8 after 0") << Outcome{"0\r\n\xC3\x28\r\n", "", readFailed, 1};
    }

    void outcome()
    {
        QFETCH(Outcome, row);
        const auto window = start("10.0.0.5\n");
        standIn->answer(row.answer, reachable.toLatin1() + '\n');
        qputenv("STANDIN_TROUBLE", row.trouble);
        writeFile(programFile("log.txt"), "0\r\n");
        writeFile(standIn->file("secret"), "secret\n");
        if (row.trouble == "command link")
            QVERIFY(QFile::remove(programFile("kavro.cmd")) &&
                    QFile::link(standIn->file("secret"), programFile("kavro.cmd")));

        const QList<ShownBox> boxes = press(*window, true, false, QStringLiteral("10.0.0.5"), QStringLiteral("5555"));
        QStringList texts;
        for (const ShownBox &box : boxes)
            texts.append(box.text);
        QCOMPARE(texts, row.shown);
        const bool succeeded = row.shown.last() == success;
        QCOMPARE(boxes.last().icon, succeeded ? QMessageBox::Information : QMessageBox::Critical);
        QCOMPARE(boxes.last().informative, succeeded ? reachable : QString());
        QCOMPARE(child<QLabel>(*window, "lblStatus")->text(), succeeded ? "Ready" : "Ready (error ocurred)");
        const QList<ModuleRun> runs = standIn->runs();
        QCOMPARE(runs.size(), 1 + row.moduleRuns);
        QCOMPARE(fileBytes(standIn->file("secret")), QByteArray("secret\n"));
        if (row.trouble == "linger") // ended once the press was over
            QCOMPARE(::kill(static_cast<pid_t>(runs.last().pid), 0), -1);
    }

    // The module's streams, standard error first: plain text without control characters,
    // each cut at 16 KiB with a note; a line that is not quite "Reachable at" names nothing.
    void details()
    {
        const auto window = start("10.0.0.5\n");
        const QByteArray lines("<b>x</b> Reachable at 1.2.3.4:80\nReachable at 1.2.3.4:80\x1b[31m\a\r\n");
        standIn->answer("0\n", lines + QByteArray(1 << 20, 'e'), QByteArray(1 << 20, 'o'));
        const QList<ShownBox> boxes = press(*window, true, false, QStringLiteral("10.0.0.5"), QStringLiteral("5555"));
        QCOMPARE(boxes.size(), 1);
        const QString cut("\n[more output not shown]\n");
        QCOMPARE(boxes[0].details, "<b>x</b> Reachable at 1.2.3.4:80\nReachable at 1.2.3.4:80[31m\n" +
                                       QString(16384 - lines.size(), 'e') + cut + '\n' + QString(16384, 'o') + cut);
        QCOMPARE(boxes[0].format, Qt::PlainText);
        QCOMPARE(boxes[0].informative, QString());
    }
};

QTEST_MAIN(WindowTest)
#include "window_test.moc"
