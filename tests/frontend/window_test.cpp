// The window beside the stand-in module: the addresses its start-up got, the input
// checks, the keyboard, what it shows while the module runs, and the outcome of a
// Forward press: the module's headline lines in the box, its other words in the details,
// and never an earlier answer nor one from a module that misbehaved.

#include "window_test_support.h"

#include <QSpinBox>

#include <qpa/qwindowsysteminterface.h>

#include <chrono>
#include <csignal>
#include <thread>

namespace {

const QString success = QStringLiteral("Port forward success!");
const QString firewallOnly = QStringLiteral("Port let in through this computer's firewall only: \n");
const QString reachable = QStringLiteral("Reachable at 11.77.0.1:5555");

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
    QByteArray errors; // the module's standard error
    QStringList shown;
    QString informative; // of the last box
    int moduleRuns;
    QString why = {};       // in the informative text of the first of two boxes
    QString button = {};    // an IPv6 offer in the first box, pressed; empty: none offered
    QByteArray output = {}; // the module's standard output
    QString details = {};   // of the last box, when given
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

private slots:
    // A desktop's usual font, where a first line shorter than the box's soft limit is
    // left unwrapped, so a box narrower than it cuts it off.
    void initTestCase()
    {
        QFont font = QApplication::font();
        font.setPixelSize(12);
        QApplication::setFont(font);
    }

    void init()
    {
        standIn = std::make_unique<StandIn>(QCoreApplication::applicationDirPath());
        QFile::remove(programFile("kavro.cmd")); // may be a row's planted link
        QDir::setCurrent(startDirectory.path()); // as if started from elsewhere
    }

    void addressSelector_data()
    {
        QTest::addColumn<Selection>("row");
        const QByteArray three("10.0.0.1\n10.0.0.2\n10.0.0.3\n");
        QTest::newRow("three, at start") << Selection{three, {}, 0};
        QTest::newRow("three, past the last") << Selection{three, {3}, 2};
        QTest::newRow("none") << Selection{"", {4}, -1};
        // Only the exact word ends the program.
        QTest::newRow("lower-case error") << Selection{"error\n", {}, 0};
        QTest::newRow("ERROR with a blank") << Selection{"ERROR \n10.0.0.1\n", {1}, 1};
    }

    void addressSelector()
    {
        QFETCH(Selection, row);
        const auto window = startWindow(*standIn, row.answer);
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
        QTest::newRow("port 0") << Check{true, true, "10.0.0.5", "00000", portZero, ""};
        QTest::newRow("tcp, 00080") << Check{true, false, "10.0.0.5", "00080", success, "10.0.0.5 80 TRUE FALSE"};
        QTest::newRow("udp, four letters") << Check{false, true, "abcd", "99999", success, "abcd 99999 FALSE TRUE"};
        QTest::newRow("both") << Check{true, true, "192.168.1.20", "1", success, "192.168.1.20 1 TRUE TRUE"};
    }

    void inputChecks()
    {
        QFETCH(Check, row);
        const auto window = startWindow(*standIn, "10.0.0.5\n");
        standIn->answer("0\n");
        const QList<ShownBox> boxes = pressForward(*window, row.tcp, row.udp, row.ip, row.port);
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes[0].text, row.shown);
        const QList<ModuleRun> runs = standIn->runs();
        QCOMPARE(runs.size(), row.sent.isEmpty() ? 1 : 2);
        if (!row.sent.isEmpty())
            QCOMPARE(runs[1].commandFile, QByteArray("kavro " + row.sent).replace(' ', '\n') + '\n');
    }

    // Each with an earlier success left as log.txt. The box's own words are the module's
    // headline lines, each once, and on success first the address to share.
    void outcome_data()
    {
        QTest::addColumn<Outcome>("row");
        const QString error("Port forward error: \n");
        const QStringList readFailed{"FATAL ERROR: Could not read internal port forwarding module.", error + "ERROR"};
        const QStringList sendFailed{"FATAL ERROR: Could not send command to internal port forwarding module.",
                                     error + "ERROR"};
        const QByteArray kept("The gateway keeps port 5555 open for 7 days.");
        const QByteArray said =
            "UPnP gateway: 10.77.0.1\n>[forward-reachable] " + reachable.toLatin1() + "\n>>[forward-kept] " + kept + '\n';
        const QString shared = reachable + '\n' + kept;
        const QByteArray refused("The router does not let port 6666 be opened (606 Action not authorized). "
                                 "Try another port, or open it in the router's own settings.");
        const QString unread("left no answer");
        QTest::newRow("first line decides") << Outcome{"0\nInvalid IP\n", "", said, {success}, shared, 1};
        QTest::newRow("refused twice, told once")
            << Outcome{"Invalid IP\r\n", "", ">>[gateway-not-authorized] " + refused + "\n>[x] TCP 6666 refused\n>>[gateway-not-authorized] " + refused + "\r\n",
                       {error + "Invalid IP"}, refused, 1};
        // Not mapped, but let in here: a warning of its own, by the module's id alone.
        const QByteArray letIn("This machine's firewall now lets port 6666 in. Opening port 6666 in the router's own "
                               "settings, for this machine's address, completes the job.");
        QTest::newRow("let in through this machine's firewall only")
            << Outcome{"Invalid IP\r\n", "", ">>[gateway-not-authorized] " + refused + "\n>>[forward-firewall-only-router] " +
                       letIn + '\n', {firewallOnly + "Invalid IP"}, refused + '\n' + letIn, 1};
        QTest::newRow("a marker inside a line")
            << Outcome{"Invalid IP\n", "", "TCP >>[a] UDP\n >> indented\n>>[A] upper\n>>[a]no blank\n", {error + "Invalid IP"}, "", 1};
        QTest::newRow("answer and headline as markup")
            << Outcome{"<b>x</b>\n", "", ">>[gateway-refused] <a href=\"h\">y</a>\x07\n", {error + "<b>x</b>"},
                       "<a href=\"h\">y</a>", 1};
        QTest::newRow("zero with a blank") << Outcome{"0 \n", "", said, {error + "0 "}, kept, 1};
        QTest::newRow("empty result") << Outcome{"", "", "", {error}, "", 1};
        QTest::newRow("nothing written") << Outcome{{}, "", "", readFailed, "", 1, unread};
        QTest::newRow("killed after a whole 0") << Outcome{"0\r\n", "kill", said, readFailed, kept, 1, "was stopped"};
        QTest::newRow("running past the wait after a 0")
            << Outcome{"0", "linger", said, readFailed, kept, 1, "did not finish within 10 seconds"};
        QTest::newRow("log.txt left as a link to a 0") << Outcome{"0\n", "link", said, readFailed, kept, 1, unread};
        QTest::newRow("log.txt left as a FIFO") << Outcome{"0\n", "fifo", said, readFailed, kept, 1, unread};
        QTest::newRow("kavro.cmd planted as a link")
            << Outcome{"0\n", "command link", said, sendFailed, "", 0, "kavro.cmd could not be written"};
        QTest::newRow("no module") << Outcome{"0\n", "missing", said, readFailed, "", 0, "could not be started"};
        QTest::newRow("a line too long") << Outcome{"0\r\n" + QByteArray(1025, 'A') + "\r\n", "", "", readFailed, "", 1, unread};
        QTest::newRow("too many lines") << Outcome{QByteArray("0\r\n").repeated(4097), "", "", readFailed, "", 1, unread};
        QTest::newRow("invalid UTF-8 after 0") << Outcome{"0\r\n\xC3\x28\r\n", "", "", readFailed, "", 1, unread};
        // Opening the port over IPv6 is offered only where the module said this machine has a
        // global IPv6 address: after a success, and after a failure IPv6 gets around, each by
        // its id alone. The button runs the forward once more with a sixth line TRUE, a success
        // if the port is reachable over IPv6 then; its sentence goes with it.
        const QByteArray words("This machine can also be reached over IPv6: the port can be opened there too.");
        const QByteArray offer = ">>[forward-ipv6-offer] " + words + '\n';
        const QString offered("can also be reached over IPv6"), also("Also open over IPv6");
        const QString instead("Open over IPv6 instead");
        const QString behindCgnat("This network is behind carrier-grade NAT: ports cannot be opened from here.");
        const QByteArray cgnat = ">>[gateway-cgnat] " + behindCgnat.toLatin1() + '\n';
        const QString invalid = error + "Invalid IP";
        QTest::newRow("success, IPv6 offered") << Outcome{"0\r\n", "", offer, {success, success}, "", 2, offered, also};
        QTest::newRow("success, the offer's words without their id")
            << Outcome{"0\r\n", "", words + '\n', {success}, "", 1};
        for (const char *id : {"gateway-none-answered", "gateway-no-internet-address", "gateway-no-default-gateway"})
            QTest::newRow(id) << Outcome{"Invalid IP\r\n", "", ">>[" + QByteArray(id) + "] Reworded.\n" + offer,
                                         {invalid, invalid}, "Reworded.", 2, offered, instead};
        QTest::newRow("carrier-grade NAT, no IPv6 address")
            << Outcome{"Invalid IP\r\n", "", cgnat, {invalid}, behindCgnat, 1};
        QTest::newRow("refused, which IPv6 does not get around")
            << Outcome{"Invalid IP\r\n", "", ">>[gateway-not-authorized] Refused.\n" + offer, {invalid}, "Refused.", 1};
        const QByteArray overIpv6(">>[forward-reachable-over-ipv6] Reachable over IPv6 at [2001:db8::5]:5555\n");
        QTest::newRow("opened over IPv6 instead")
            << Outcome{"Invalid IP\r\n", "", cgnat + offer + overIpv6, {invalid, "Port forward success over IPv6!"},
                       "Invalid IP\n" + behindCgnat + '\n' + words + "\nReachable over IPv6 at [2001:db8::5]:5555", 2,
                       offered, instead};
        const QByteArray closedHere("The router opened port 5555 over IPv6; this machine's firewall keeps it closed.");
        QTest::newRow("over IPv6 instead, kept closed by this machine's firewall")
            << Outcome{"Invalid IP\r\n", "", cgnat + offer + ">>[forward-ipv6-opened-closed-here] " + closedHere + '\n',
                       {invalid, invalid}, behindCgnat + '\n' + closedHere, 2, offered, instead};
        // The details: the sentences for people, then the developer lines under a heading, plain
        // text without control characters, each stream cut at 16 KiB with a note. The headlines
        // the box shows are left out, the ones past the third are not; a headline's mark without
        // an id is no headline, and the address's words without its id no address to share.
        const QByteArray lines("<b>x</b>\n>>[t-a] a\n>>[t-b] b\n>> c\n>>[t-d] d\n>>[t-e] a\n>>[t-f] f\n>[t] Reachable at 1.2.3.4:80\x1b[31m\a\r\n");
        const QString cut("\n[more output not shown]\n");
        QTest::newRow("details, each stream cut")
            << Outcome{"0\n", "", lines + QByteArray(1 << 20, 'e'), {success}, "a\nb\nd", 1, "", "", QByteArray(1 << 20, 'o'),
                       "<b>x</b>\n>> c\nf\nReachable at 1.2.3.4:80[31m\n" + QString(16384 - lines.size(), 'e') + cut +
                           "\nFor developers:\n" + QString(16384, 'o') + cut};
    }

    void outcome()
    {
        QFETCH(Outcome, row);
        const auto window = startWindow(*standIn, "10.0.0.5\n");
        standIn->answer(row.answer, row.errors, row.output);
        qputenv("STANDIN_TROUBLE", row.trouble);
        writeFile(programFile("log.txt"), "0\r\n");
        writeFile(standIn->file("secret"), "secret\n");
        if (row.trouble == "command link")
            QVERIFY(QFile::remove(programFile("kavro.cmd")) &&
                    QFile::link(standIn->file("secret"), programFile("kavro.cmd")));
        if (row.trouble == "missing")
            QVERIFY(QFile::remove(programFile("Kavro")));

        const QList<ShownBox> boxes =
            pressForward(*window, true, false, QStringLiteral("10.0.0.5"), QStringLiteral("5555"), row.button);
        QStringList texts;
        for (const ShownBox &box : boxes)
            texts.append(box.text);
        QCOMPARE(texts, row.shown);
        if (boxes.size() > 1)
            QVERIFY2(boxes.first().informative.contains(row.why), qPrintable(boxes.first().informative));
        // The first box offers the one button that fits, if any; the one asked over IPv6, none.
        for (const QString &offer : {QStringLiteral("Also open over IPv6"), QStringLiteral("Open over IPv6 instead")})
            for (const ShownBox &box : boxes)
                QCOMPARE(box.buttons.contains(offer), &box == &boxes.first() && offer == row.button);
        const ShownBox &outcome = boxes.last();
        const bool succeeded = row.shown.last().startsWith(success.chopped(1));
        QCOMPARE(outcome.icon, succeeded                               ? QMessageBox::Information
                               : row.shown.last().startsWith(firewallOnly) ? QMessageBox::Warning
                                                                           : QMessageBox::Critical);
        QCOMPARE(outcome.informative, row.informative);
        QCOMPARE(outcome.format, Qt::PlainText);
        if (!row.details.isEmpty())
            QCOMPARE(outcome.details, row.details);
        // Its sentences keep long lines.
        if (!row.informative.isEmpty())
            QVERIFY2(outcome.informativeLineCharacters >= 50, qPrintable(QString::number(outcome.informativeLineCharacters)));
        QCOMPARE(child<QLabel>(*window, "lblStatus")->text(), succeeded ? "Ready" : "Ready (error ocurred)");
        const QList<ModuleRun> runs = standIn->runs();
        QCOMPARE(runs.size(), 1 + row.moduleRuns);
        if (!row.button.isEmpty())
            QCOMPARE(runs.last().commandFile, QByteArray("kavro\n10.0.0.5\n5555\nTRUE\nFALSE\nTRUE\n"));
        QCOMPARE(fileBytes(standIn->file("secret")), QByteArray("secret\n"));
        if (row.trouble == "linger") // ended once the press was over
            QCOMPARE(::kill(static_cast<pid_t>(runs.last().pid), 0), -1);
    }

    // Before the window waits for the module, "Forwarding ports..." is on the screen and the
    // wait cursor is up; both are gone once the outcome is shown. A module that says a
    // password is asked for is waited for past 10 s (it answers after 11 s), the status saying so.
    // A click on Forward, and Space on it (it has the focus the click gave it), given while the
    // window waits, are dropped: no second forward, no box closed unread.
    void theWait()
    {
        const auto window = startWindow(*standIn, "10.0.0.5\n");
        standIn->answer("0\n");
        qputenv("STANDIN_TROUBLE", "password");
        auto *status = child<QLabel>(*window, "lblStatus");
        StatusPaints painted(*status);
        QString waitingText;
        Qt::CursorShape waitingCursor = Qt::ArrowCursor;
        // Fires at the first event the window handles after the click: while the module runs, or after.
        QTimer::singleShot(0, status, [&] {
            waitingText = status->text();
            waitingCursor = QApplication::overrideCursor() ? QApplication::overrideCursor()->shape() : Qt::ArrowCursor;
        });
        QWindow *handle = window->windowHandle();
        const QPointF forward = child<QPushButton>(*window, "btnForward")->mapTo(window.get(), QPoint(10, 10));
        const QPointF global = handle->mapToGlobal(forward.toPoint());
        // Given once the forward's run has started, and before it answers.
        std::thread hand([&] {
            while (standIn->runs().size() < 2)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            using Queued = QWindowSystemInterface::AsynchronousDelivery;
            for (const QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease})
                QWindowSystemInterface::handleMouseEvent<Queued>(handle, forward, global,
                    type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::LeftButton, type);
            for (const QEvent::Type type : {QEvent::KeyPress, QEvent::KeyRelease})
                QWindowSystemInterface::handleKeyEvent<Queued>(handle, type, Qt::Key_Space, Qt::NoModifier, " ");
        });
        const QList<ShownBox> boxes = pressForward(*window, true, false, QStringLiteral("10.0.0.5"), QStringLiteral("5555"));
        hand.join();
        QCoreApplication::processEvents(); // anything still queued
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes[0].text, success);
        QCOMPARE(standIn->runs().size(), 2);
        QVERIFY(painted.texts.contains(QStringLiteral("Waiting for the administrator's password...")));
        QCOMPARE(painted.cut, QStringList());
        QCOMPARE(waitingText, QStringLiteral("Forwarding ports..."));
        QCOMPARE(waitingCursor, Qt::WaitCursor);
        QCOMPARE(QApplication::overrideCursor(), nullptr);
        QCOMPARE(status->text(), QStringLiteral("Ready"));
    }

    // Tab walks the form in reading order; Enter in the IP or the port field presses Forward.
    void keyboard()
    {
        const auto window = startWindow(*standIn, "10.0.0.5\n");
        QStringList order;
        child<QWidget>(*window, "spinBox")->setFocus();
        for (int step = 0; step < 6; ++step) {
            QWidget *focused = QApplication::focusWidget();
            // The spin box's focus rests on its inner line edit.
            order.append(focused->parentWidget()->inherits("QSpinBox") ? focused->parentWidget()->objectName()
                                                                      : focused->objectName());
            QTest::keyClick(focused, Qt::Key_Tab);
        }
        QCOMPARE(order, QStringList({"spinBox", "editip", "editport", "chkTCP", "ChkUDP", "btnForward"}));

        standIn->answer("0\n");
        child<QCheckBox>(*window, "chkTCP")->setChecked(true);
        for (const char *field : {"editip", "editport"}) {
            BoxCloser closer;
            QTest::keyClick(child<QLineEdit>(*window, field), Qt::Key_Return);
            QVERIFY2(closer.boxes.size() == 1, field);
            QCOMPARE(closer.boxes[0].text, success);
        }
    }

};

QTEST_MAIN(WindowTest)
#include "window_test.moc"
