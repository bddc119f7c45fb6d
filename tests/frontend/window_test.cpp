// The window and its open ports dialog beside the stand-in module (standin_module.sh), each
// test as its comment says.

#include "message_box.h"
#include "window_test_support.h"

#include <qpa/qwindowsysteminterface.h>

#include <csignal>
#include <utility>

namespace {

const QString success = QStringLiteral("Port forward success!");
const QString firewallOnly = QStringLiteral("Port let in through this computer's firewall only: \n");
const QString reachable = QStringLiteral("Reachable at 11.77.0.1:5555");

QString programFile(const char *name)
{
    return QDir(QCoreApplication::applicationDirPath()).filePath(QString::fromLatin1(name));
}

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

const QString nothingOpen = QStringLiteral("This machine has no open ports through the router.");
const QString notListed = QStringLiteral("The open ports could not be listed. Press Refresh to try again.");
const QString openPorts = QStringLiteral("&Open ports\u2026");

// One line of the module's list for 10.0.0.5, by default one of ours, kept open.
QByteArray entry(const char *protocol, int port, const QByteArray &rest = "UPnP\t3600\tyes\tyes\tyes\tHLMX")
{
    const QByteArray number = QByteArray::number(port);
    return protocol + ('\t' + number + "\t10.0.0.5\t" + number + "\tIPv4\t" + rest + '\n');
}

const QByteArray skype = entry("UDP", 3478, "UPnP\t0\tno\tno\tno\tSkype");

QStringList ours(const char *protocol, const char *port)
{
    return {protocol, port, "10.0.0.5", "UPnP", "kept open", "yes", "this tool"};
}

void selectRows(QDialog &dialog, const QList<int> &rows)
{
    auto *table = child<QTableWidget>(dialog, "portTable");
    table->clearSelection();
    for (int row : rows)
        table->selectionModel()->select(table->model()->index(row, 0),
                                        QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

// What a person sees of the dialog.
struct Seen {
    QList<QStringList> rows;
    bool italic = false; // the first row
    QString sentence;    // empty when hidden
    QString note;        // empty when hidden
    QString status;      // the window's status line
    QStringList tips;    // read in each row's last cell's tip; empty: none
};

// What a person reads in a cell's tip, shown as a pointer resting on the cell shows it.
QString readTip(QTableWidget &table, int row, int column)
{
    if (table.item(row, column)->toolTip().isEmpty())
        return {};
    const QPoint at = table.visualItemRect(table.item(row, column)).center();
    QHelpEvent rest(QEvent::ToolTip, at, table.viewport()->mapToGlobal(at));
    QApplication::sendEvent(table.viewport(), &rest);
    for (QWidget *widget : QApplication::topLevelWidgets())
        if (widget->inherits("QTipLabel") && widget->isVisible())
            return readText(widget);
    return QStringLiteral("(no tip shown)");
}

Seen see(const QDialog &dialog, const QLabel &status)
{
    Seen seen;
    auto *table = child<QTableWidget>(dialog, "portTable");
    for (int row = 0; row < table->rowCount(); ++row) {
        seen.rows.append(QStringList());
        for (int column = 0; column < table->columnCount(); ++column)
            seen.rows.last().append(table->item(row, column)->text());
        seen.tips.append(readTip(*table, row, table->columnCount() - 1));
    }
    QToolTip::hideText();
    seen.italic = table->rowCount() > 0 && table->item(0, 0)->font().italic();
    for (const auto &[name, text] : {std::pair{"portsSentence", &seen.sentence}, {"unreadNote", &seen.note}}) {
        const auto *label = child<QLabel>(dialog, name);
        *text = label->isVisibleTo(&dialog) ? label->text() : QString();
    }
    seen.status = status.text();
    return seen;
}

struct Listing {
    QByteArray answer;
    QList<QStringList> rows; // all, in order
    QString note; // a piece of it
};

struct Closing {
    QList<int> selected; // rows of the sorted table
    QString click;       // in the confirmation box; empty: it is closed without a choice
    QStringList boxes;   // the texts of the boxes shown, a confirmation first
    QMessageBox::Icon icon; // of the first box
    QString informative;    // of the last box
    QByteArray command;     // the close command sent, blank-separated; empty: none
    QByteArray word = {};   // the exchange that fails, "list" or "close": its answer, trouble and errors
    QByteArray answer = {}, trouble = {}, errors = {};
    QString detail = {}; // a piece of the last box's details
};

// What is visible of a widget, in its own coordinates: its rectangle cut by every
// widget it lies in, up to the window.
QRect visibleRect(const QWidget &widget)
{
    const QWidget *window = widget.window();
    const QPoint origin = widget.mapTo(window, QPoint(0, 0));
    QRect visible(origin, widget.size());
    for (const QWidget *outer = widget.parentWidget(); outer; outer = outer->parentWidget())
        visible &= QRect(outer == window ? QPoint(0, 0) : outer->mapTo(window, QPoint(0, 0)), outer->size());
    return visible.translated(-origin);
}

// Whether the text's ink, laid out in `area` as the widget lays it out, stays inside.
bool inkFits(const QWidget &widget, const QRect &area, const QString &text, Qt::Alignment alignment)
{
    const QFontMetrics metrics(widget.font());
    const QRect line = QStyle::alignedRect(widget.layoutDirection(), alignment,
                                           QSize(metrics.horizontalAdvance(text), metrics.height()), area);
    return area.contains(metrics.tightBoundingRect(text).translated(line.left(), line.top() + metrics.ascent()));
}

} // namespace

Q_DECLARE_METATYPE(Check)
Q_DECLARE_METATYPE(Outcome)
Q_DECLARE_METATYPE(Listing)
Q_DECLARE_METATYPE(Closing)

class WindowTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir startDirectory;
    std::unique_ptr<StandIn> standIn;
    std::unique_ptr<MainWindow> window;
    const QFont qtFont = QApplication::font(); // Qt's own, larger than the desktop's below

    QLabel &status() const { return *child<QLabel>(*window, "lblStatus"); }

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
        window.reset(); // the last test's
        standIn = std::make_unique<StandIn>(QCoreApplication::applicationDirPath());
        QFile::remove(programFile("kavro.cmd")); // may be a row's planted link
        QDir::setCurrent(startDirectory.path()); // as if started from elsewhere
        standIn->answer("list", entry("TCP", 8080));
        window = startWindow(*standIn, "10.0.0.5\n");
    }

    void addressSelector_data()
    {
        QTest::addColumn<QByteArray>("answer"); // the start-up's
        QTest::addColumn<QList<int>>("values"); // set on the spin box in turn
        QTest::addColumn<int>("index");         // of the address shown; -1: none
        const QByteArray three("10.0.0.1\n10.0.0.2\n10.0.0.3\n");
        QTest::newRow("three, past the last") << three << QList<int>{3} << 2;
        QTest::newRow("none") << QByteArray("") << QList<int>{4} << -1;
        // Only the exact word ends the program.
        QTest::newRow("lower-case error") << QByteArray("error\n") << QList<int>{} << 0;
        QTest::newRow("ERROR with a blank") << QByteArray("ERROR \n10.0.0.1\n") << QList<int>{1} << 1;
    }

    void addressSelector()
    {
        QFETCH(QByteArray, answer);
        QFETCH(QList<int>, values);
        QFETCH(int, index);
        const auto window = startWindow(*standIn, answer);
        auto *spin = child<QSpinBox>(*window, "spinBox");
        for (int value : values)
            spin->setValue(value);
        const QStringList addresses = QString::fromLatin1(answer).split(QLatin1Char('\n'));
        QCOMPARE(child<QLineEdit>(*window, "editip")->text(), index < 0 ? QString() : addresses.at(index));
        QCOMPARE(spin->value(), index < 0 ? values.last() : index);
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
        standIn->answer("", "0\n");
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
        standIn->answer("", row.answer, row.errors, row.output);
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
        standIn->answer("", "0\n");
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
        // Given as the window system gives them, while the module waits for the password.
        QTimer hand;
        QObject::connect(&hand, &QTimer::timeout, [&] {
            if (status->text() != QLatin1String("Waiting for the administrator's password..."))
                return;
            hand.stop();
            using Queued = QWindowSystemInterface::AsynchronousDelivery;
            for (const QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease})
                QWindowSystemInterface::handleMouseEvent<Queued>(handle, forward, global,
                    type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::LeftButton, type);
            for (const QEvent::Type type : {QEvent::KeyPress, QEvent::KeyRelease})
                QWindowSystemInterface::handleKeyEvent<Queued>(handle, type, Qt::Key_Space, Qt::NoModifier, " ");
        });
        hand.start(10);
        const QRect place = status->geometry();
        const QList<ShownBox> boxes = pressForward(*window, true, false, QStringLiteral("10.0.0.5"), QStringLiteral("5555"));
        QVERIFY(!hand.isActive()); // given
        QCoreApplication::processEvents(); // anything still queued
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes[0].text, success);
        QVERIFY(painted.texts.contains(QStringLiteral("Waiting for the administrator's password...")));
        QCOMPARE(painted.cut, QStringList());
        QCOMPARE(status->geometry(), place); // widened for the password text, back afterwards
        QCOMPARE(waitingText, QStringLiteral("Forwarding ports..."));
        QCOMPARE(waitingCursor, Qt::WaitCursor);
        QCOMPARE(QApplication::overrideCursor(), nullptr);
    }

    // Tab walks the form in reading order; Enter in the IP or the port field presses Forward. The
    // dialog opens in the table; Tab walks on to the buttons, each with a name a screen reader says.
    void keyboard()
    {
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

        standIn->answer("", "0\n");
        child<QCheckBox>(*window, "chkTCP")->setChecked(true);
        for (const char *field : {"editip", "editport"}) {
            Person person;
            QTest::keyClick(child<QLineEdit>(*window, field), Qt::Key_Return);
            QVERIFY2(person.boxes.size() == 1, field);
            QCOMPARE(person.boxes[0].text, success);
        }

        QApplication::setActiveWindow(window.get()); // the shortcut works in the active window only
        QStringList names;
        Person tabbing({}, [&](QDialog &dialog) {
            waitUntil([&] { return dialog.isActiveWindow(); });
            selectRows(dialog, {0});
            for (int step = 0; step < 5; ++step) {
                QWidget *focused = QApplication::focusWidget();
                names.append(QAccessible::queryAccessibleInterface(focused)->text(QAccessible::Name));
                QTest::keyClick(focused, Qt::Key_Tab);
            }
        });
        openPortsWithKeys(*window, tabbing);
        QCOMPARE(names, QStringList({"Open ports", "Close selected", "Refresh", "Done", "Open ports"}));
    }

    // The table from the module's answer, sorted by port; lines that are no mapping are
    // left out and named; nothing open is a sentence, not an empty table. Ctrl+A, Ctrl+C
    // copies the rows as shown, a line each, tab-separated.
    void listing_data()
    {
        QTest::addColumn<Listing>("row");
        // A port the router did not map, let in through this machine's firewall only: by its word, "firewall".
        QTest::newRow("another program's marked, other ways and times")
            << Listing{skype + entry("TCP", 5000, "PCP\t7199\tno\tyes\tyes\t") +
                           "UDP\t6000\tfd00::5\t6001\tIPv6\tNAT-PMP\t604800\tno\tyes\tno\t\n" +
                           entry("TCP", 65535, "firewall\t0\tyes\tyes\tyes\tHLMX 65535 TCP"),
                       {{"UDP", "3478", "10.0.0.5", "UPnP", "no end", "no", "another program (\"Skype\")"},
                        {"TCP", "5000", "10.0.0.5", "PCP", "1 h 59 min", "yes", "this tool"},
                        {"UDP", "6000", "fd00::5 port 6001", "NAT-PMP", "7 days 0 h", "no", "this tool"},
                        {"TCP", "65535", "10.0.0.5", "this computer's firewall only", "kept open", "yes", "this tool"}}, ""};
        // Other programs name their mappings as they like, and routers cut names inside a
        // character: each odd character is replaced, a line break leaves one line unread.
        const auto named = [](const char *protocol, int port, const QByteArray &name) {
            return entry(protocol, port, "UPnP\t0\tno\tno\tno\t" + name);
        };
        const auto theirs = [](const char *protocol, const char *port, const char *name) {
            return QStringList{protocol, port, "10.0.0.5", "UPnP", "no end", "no",
                               QStringLiteral("another program (\"%1\")").arg(QString::fromUtf8(name))};
        };
        QTest::newRow("odd names of other programs: every row")
            << Listing{named("UDP", 3478, "chat\x1b[8m") + named("UDP", 3479, "game\nserver") +
                           named("TCP", 3480, "\xe2\x80\xaePCT") + named("TCP", 3481, "Ger\xc3") + named("TCP", 3482, "<b>x</b>") +
                           entry("TCP", 8080),
                       {theirs("UDP", "3478", "chat\uFFFD[8m"), theirs("UDP", "3479", "game"),
                        theirs("TCP", "3480", "\uFFFDPCT"), theirs("TCP", "3481", "Ger\uFFFD"),
                        theirs("TCP", "3482", "<b>x</b>"), ours("TCP", "8080")},
                       "1 line of the module's answer could not be read and is left out:\n\"server\""};
        // A line the module could have garbled is left out whole, never shown in part.
        const QByteArray good = entry("TCP", 8080).trimmed();
        const auto with = [&](int field, const QByteArray &value) {
            QByteArrayList fields = good.split('\t');
            fields[field] = value;
            return fields.join('\t') + '\n';
        };
        QTest::newRow("lines that could be garbled: none shown")
            << Listing{good.left(good.lastIndexOf('\t')) + '\n' + good + "\tmore\n" + with(0, "tcp") + with(1, "65536") +
                           with(3, "+80") + with(2, "") + with(5, "upnp") + with(6, "-1") + with(7, "Yes") + entry("UDP", 1),
                       {ours("UDP", "1")}, "9 lines of the module's answer could not be read and are left out"};
        QTest::newRow("nothing readable")
            << Listing{"a\tb\n\t\n", {}, "2 lines of the module's answer could not be read and are left out:\n\"a b\"\n\" \""};
    }

    void listing()
    {
        QFETCH(Listing, row);
        standIn->answer("list", row.answer);
        Seen seen;
        QString copied;
        Person person({}, [&](QDialog &dialog) {
            QCOMPARE(dialog.windowTitle(), QStringLiteral("Open ports"));
            seen = see(dialog, status());
            QApplication::clipboard()->clear();
            auto *table = child<QTableWidget>(dialog, "portTable");
            QTest::keyClick(table, Qt::Key_A, Qt::ControlModifier);
            QTest::keyClick(table, Qt::Key_C, Qt::ControlModifier);
            copied = QApplication::clipboard()->text();
        });
        openPortsWithKeys(*window, person);
        QVERIFY2(person.boxes.isEmpty(), qPrintable(person.boxes.value(0).text));
        QCOMPARE(seen.rows, row.rows);
        QStringList lines;
        for (const QStringList &texts : seen.rows)
            lines.append(texts.join('\t'));
        QCOMPARE(copied, lines.join('\n'));
        QCOMPARE(seen.sentence, QString()); // each row lists a port or a line left out
        QCOMPARE(seen.note.isEmpty(), row.note.isEmpty());
        QVERIFY2(seen.note.contains(row.note), qPrintable(seen.note));
        QCOMPARE(seen.italic, !row.rows.isEmpty() && row.rows[0].last() != QLatin1String("this tool"));
        // Another program's name in full in its tip, as the characters it is.
        for (int index = 0; index < seen.rows.size(); ++index)
            QCOMPARE(seen.tips[index], seen.rows[index].last() == "this tool" ? QString() : seen.rows[index].last());
    }

    // The selected rows are closed with one confirmation and one "close" exchange with a
    // group per address and port, then listed again, the status line telling each; another
    // program's port gets a warning that names it, and a refused confirmation sends nothing.
    // A failed exchange shows its reason, the module's headline once and its other words in
    // the details, and the dialog stays usable: Refresh lists again.
    void closing_data()
    {
        QTest::addColumn<Closing>("row");
        // Sorted: UDP 3478 (Skype's), TCP 8080, UDP 8080, TCP 9000.
        const QString two("Close 2 ports?"), one("Close 1 port?"), others("Close another program's port?");
        const auto Question = QMessageBox::Question, Warning = QMessageBox::Warning, Critical = QMessageBox::Critical;
        const QString removed("\n\nThe router then stops sending them to this machine, and the firewall entries this "
                              "tool made for them are removed.");
        const QString skypes("UDP 3478 to 10.0.0.5 was opened by another program (\"Skype\"), not by this tool.\nThat "
                             "program may stop working until it opens its port again.\n\nAll that would close:\n"
                             "UDP 3478 to 10.0.0.5");
        QTest::newRow("two ports, two groups")
            << Closing{{1, 3}, "Close 2 ports", {two}, Question, "TCP 8080 to 10.0.0.5\nTCP 9000 to 10.0.0.5" + removed,
                       "close 10.0.0.5 8080 TRUE FALSE 10.0.0.5 9000 TRUE FALSE"};
        QTest::newRow("another program's among them, warned")
            << Closing{{0, 3}, "Close anyway", {others}, Warning, skypes + "\nTCP 9000 to 10.0.0.5",
                       "close 10.0.0.5 3478 FALSE TRUE 10.0.0.5 9000 TRUE FALSE"};
        QTest::newRow("warning closed without a choice") << Closing{{0}, "", {others}, Warning, skypes, ""};
        QTest::newRow("cancelled") << Closing{{3}, "Cancel", {one}, Question, "TCP 9000 to 10.0.0.5" + removed, ""};
        const QByteArray refused("The router does not let port 8080 be closed.");
        const QString unread("FATAL ERROR: Could not read internal port forwarding module.");
        const QString cannotList("Could not list the open ports."), cannotClose("Could not close the port.");
        QTest::newRow("list by a module killed after a whole answer")
            << Closing{{}, "", {unread, cannotList}, Critical, "ERROR", "", "list", entry("TCP", 8080), "kill"};
        QTest::newRow("close refused")
            << Closing{{1}, "Close 1 port", {one, cannotClose}, Question, refused, "close 10.0.0.5 8080 TRUE FALSE",
                       "close", refused + '\n', "", ">>[record-refused] " + refused + "\n>[x] TCP 8080: 714\n",
                       "TCP 8080: 714"};
    }

    void closing()
    {
        QFETCH(Closing, row);
        standIn->answer("list", entry("TCP", 9000) + entry("UDP", 8080) + entry("TCP", 8080) + skype);
        standIn->answer("close", "0\n");
        if (!row.word.isEmpty())
            standIn->answer(row.word, row.answer, row.errors);
        qputenv("STANDIN_TROUBLE", row.trouble);
        qputenv("STANDIN_TROUBLE_FOR", row.word);
        Seen before, after, refreshed;
        bool closeEnabled = true;
        StatusPaints painted(status());
        Person person(row.click, [&](QDialog &dialog) {
            before = see(dialog, status());
            closeEnabled = child<QPushButton>(dialog, "closeButton")->isEnabled();
            standIn->answer("list", entry("TCP", 9000));
            selectRows(dialog, row.selected);
            QTest::mouseClick(child<QPushButton>(dialog, "closeButton"), Qt::LeftButton);
            after = see(dialog, status());
            if (row.word.isEmpty())
                return;
            qunsetenv("STANDIN_TROUBLE");
            standIn->answer("list", "");
            QTest::mouseClick(child<QPushButton>(dialog, "refreshButton"), Qt::LeftButton);
            refreshed = see(dialog, status());
        });
        openPortsWithKeys(*window, person);
        QVERIFY(!closeEnabled); // nothing selected yet
        QStringList texts;
        for (const ShownBox &box : person.boxes)
            texts.append(box.text);
        QCOMPARE(texts, row.boxes);
        QCOMPARE(person.boxes[0].icon, row.icon);
        QCOMPARE(person.boxes[0].flaw, QString());
        const ShownBox &last = person.boxes.last();
        QCOMPARE(last.format, Qt::PlainText);
        QCOMPARE(last.informative, row.informative);
        QVERIFY2(last.details.contains(row.detail), qPrintable(last.details));
        const QList<ModuleRun> runs = standIn->runs();
        if (!row.command.isEmpty())
            QCOMPARE(runs[2].commandFile, row.command.replace(' ', '\n') + '\n');
        if (!row.word.isEmpty()) {
            QCOMPARE(last.icon, QMessageBox::Critical);
            QCOMPARE(after.status, QStringLiteral("Ready (error ocurred)"));
            // A failed list shows nothing stale; a failed close lists again.
            QCOMPARE(after.sentence, row.word == "list" ? notListed : QString());
            QCOMPARE(after.rows.size(), row.word == "list" ? 0 : 1);
            QCOMPARE(refreshed.sentence, nothingOpen);
            QCOMPARE(refreshed.status, QStringLiteral("Ready"));
        } else if (row.command.isEmpty()) {
            QCOMPARE(after.rows, before.rows);
        } else {
            QCOMPARE(runs.size(), 4);
            QCOMPARE(after.rows.size(), 1);
            QCOMPARE(after.status, QStringLiteral("Ready"));
            const QStringList &paints = painted.texts;
            const int closing = paints.indexOf(QStringLiteral("Closing ports..."));
            QVERIFY2(paints.indexOf(QStringLiteral("Listing ports...")) < closing, qPrintable(paints.join('|')));
            QVERIFY2(paints.lastIndexOf(QStringLiteral("Listing ports...")) > closing, qPrintable(paints.join('|')));
        }
    }

    // The context menu's first entry anywhere in the window (a text field's own entries below
    // it) and the button on a forward's outcome box open the dialog, as Ctrl+O does elsewhere.
    void waysIn_data()
    {
        QTest::addColumn<QString>("way");
        QTest::addColumn<bool>("fieldEntries");
        QTest::newRow("menu on the window's tool bar") << "mainToolBar" << false;
        QTest::newRow("menu on the address number") << "spinBox" << true;
        QTest::newRow("success box") << "0\n" << false;
        QTest::newRow("error box") << "Invalid IP\n" << false;
    }

    void waysIn()
    {
        QFETCH(QString, way);
        QFETCH(bool, fieldEntries);
        if (way.endsWith('\n')) {
            standIn->answer("kavro", way.toLatin1());
            // The dialog closed by the person pressForward brings, the list below telling it was up.
            const QList<ShownBox> boxes = pressForward(*window, true, false, "10.0.0.5", "5555", openPorts);
            QCOMPARE(boxes.size(), 1);
            QCOMPARE(boxes[0].buttons.size(), 2);
        } else {
            Person person;
            QWidget *widget = child<QWidget>(*window, qPrintable(way));
            if (auto *field = widget->findChild<QLineEdit *>())
                widget = field; // the spin box's text
            const QPoint inside(3, 3);
            QContextMenuEvent event(QContextMenuEvent::Mouse, inside, widget->mapToGlobal(inside));
            QApplication::sendEvent(widget, &event);
            waitUntil([&] { return person.opened == 1; });
            QCOMPARE(person.menuEntries.value(0), openPorts);
            QCOMPARE(person.firstShortcut, QStringLiteral("Ctrl+O"));
            // Undo, Copy and the rest below a separator.
            QCOMPARE(person.menuEntries.value(1) == QLatin1String("-") && person.menuEntries.size() > 2, fieldEntries);
        }
        QCOMPARE(standIn->runs().last().commandFile, QByteArray("list\n"));
    }

    // Every text of the form lies whole inside what is visible of its widget, measured by
    // its ink in the form's fonts. The spin box shows one digit: ten addresses.
    void formFits()
    {
        const QList<std::pair<const char *, QStringList>> captions{
            {"label", {"Internal IP to forward to."}},
            {"label_2", {"Port"}},
            {"label_3", {"Protocols"}},
            {"lblStatus", {"Ready", "Forwarding ports...", "Ready (error ocurred)", "Listing ports...", "Closing ports..."}}};
        for (const auto &[name, texts] : captions) {
            auto *label = child<QLabel>(*window, name);
            for (const QString &text : texts) {
                label->setText(text);
                const QRect area = visibleRect(*label) & label->contentsRect();
                QVERIFY2(inkFits(*label, area, text, label->alignment()), qPrintable(text));
            }
        }
        const QList<std::pair<QLineEdit *, QString>> fields{
            {child<QLineEdit>(*window, "editip"), "255.255.255.255"},
            {child<QLineEdit>(*window, "editport"), "99999"},
            {child<QSpinBox>(*window, "spinBox")->findChild<QLineEdit *>(), "9"}};
        for (const auto &[field, text] : fields) {
            field->setText(text);
            QStyleOptionFrame frame;
            frame.initFrom(field);
            frame.rect = field->rect();
            frame.lineWidth = field->hasFrame() ? field->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &frame, field) : 0;
            // A line edit keeps 2 pixels free on either side of its text.
            const QRect contents =
                field->style()->subElementRect(QStyle::SE_LineEditContents, &frame, field).adjusted(2, 0, -2, 0);
            QVERIFY2(inkFits(*field, visibleRect(*field) & contents, text, field->alignment()), qPrintable(text));
        }
        for (const char *name : {"chkTCP", "ChkUDP", "btnForward"}) {
            auto *button = child<QAbstractButton>(*window, name);
            const QSize room = visibleRect(*button).size();
            QVERIFY2(button->sizeHint().width() <= room.width() && button->sizeHint().height() <= room.height(), name);
        }
    }

    // The dialog as it opens, with the widest texts a list can hold and with none: every
    // column in view without scrolling sideways, each header and cell whole but the program's
    // name, which may be cut after 25 characters, and the buttons and the sentence whole; all
    // inside 1280 x 720 pixels of a screen in Qt's own font, and wide enough for its title.
    void openPortsFit_data()
    {
        QTest::addColumn<QByteArray>("answer");
        QByteArray twenty;
        for (int port = 65516; port <= 65535; ++port)
            twenty += "UDP\t" + QByteArray::number(port) + "\tfd00:1234:5678:9abc:def0:1234:5678:9abc\t1\tIPv6\tNAT-PMP\t"
                      "604799\tno\tno\tyes\t" + QByteArray(port % 2 ? 60 : 10, 'W') + '\n';
        QTest::newRow("twenty, the widest") << twenty;
        QTest::newRow("none") << QByteArray("");
    }

    void openPortsFit()
    {
        QFETCH(QByteArray, answer);
        QGuiApplication::setApplicationDisplayName(QString::fromUtf8(applicationDisplayName));
        QApplication::setFont(qtFont);
        standIn->answer("list", answer);
        const std::function<void(QDialog &)> measure = [&](QDialog &dialog) {
            QTest::qWait(50); // the layout's own turn, as a person sees it
            QCOMPARE(child<QTableWidget>(dialog, "portTable")->rowCount(), answer.count('\n')); // every one

            QVERIFY2(dialog.width() <= 1280 && dialog.height() <= 720,
                     qPrintable(QStringLiteral("%1 x %2").arg(dialog.width()).arg(dialog.height())));
            QFont bold = dialog.font();
            bold.setBold(true);
            const QString title = dialog.windowTitle() + " \u2014 " + QGuiApplication::applicationDisplayName();
            QVERIFY2(dialog.width() >= QFontMetrics(bold).horizontalAdvance(title) + 120, qPrintable(title));
            const auto *table = child<QTableWidget>(dialog, "portTable");
            QCOMPARE(table->horizontalScrollBar()->maximum(), 0);
            const QFontMetrics metrics(table->font());
            const int last = table->columnCount() - 1;
            for (int column = 0; column < last; ++column) {
                const auto *header = table->horizontalHeader();
                const QString title = table->horizontalHeaderItem(column)->text();
                QVERIFY2(QFontMetrics(header->font()).horizontalAdvance(title) < header->sectionSize(column),
                         qPrintable(title));
                for (int row = 0; row < table->rowCount(); ++row) {
                    const QString text = table->item(row, column)->text();
                    QVERIFY2(metrics.horizontalAdvance(text) < table->columnWidth(column), qPrintable(text));
                }
            }
            for (int row = 0; row < table->rowCount(); ++row) {
                const QString name = table->item(row, last)->text();
                QVERIFY2(metrics.horizontalAdvance(name) < table->columnWidth(last) ||
                             table->columnWidth(last) >= 25 * metrics.averageCharWidth(),
                         qPrintable(name));
            }
            for (const QPushButton *button : dialog.findChildren<QPushButton *>())
                QVERIFY2(button->sizeHint().width() <= button->width(), qPrintable(button->text()));
            for (const QLabel *label : dialog.findChildren<QLabel *>())
                if (label->isVisible())
                    QVERIFY2(label->sizeHint().width() <= label->width() && label->sizeHint().height() <= label->height(),
                             qPrintable(label->text()));
        };
        openPortsWithKeys(*window, Person({}, measure));
    }
};

QTEST_MAIN(WindowTest)
#include "window_test.moc"
