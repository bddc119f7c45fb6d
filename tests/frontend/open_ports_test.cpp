// The open ports dialog beside the stand-in module: the module's list read and shown,
// the ways into the dialog, closing with one confirmation and one "close" for all the
// selected ports, and failures that leave the dialog usable.

#include "window_test_support.h"

#include <QClipboard>
#include <QToolTip>

#include <utility>

namespace {

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

// Twenty of ours, TCP and UDP of ports 9000 to 9009, listed highest first.
QByteArray twenty()
{
    QByteArray list;
    for (int port = 9009; port >= 9000; --port)
        list += entry("UDP", port) + entry("TCP", port);
    return list;
}

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
    QList<QStringList> rows; // all, or the first few, in order
    int rowCount;
    QString note; // a piece of it
};

struct Closing {
    QList<int> selected; // rows of the sorted table
    QString click;       // in the confirmation box; empty: it is closed without a choice
    QMessageBox::Icon icon;
    QString asked;      // the confirmation's text
    QString warning;    // a piece of its informative text
    QByteArray command; // the close command sent, blank-separated; empty: none
};

struct Failure {
    QByteArray word; // the exchange that fails, "list" or "close": its answer, trouble and errors
    QByteArray answer;
    QByteArray trouble;
    QByteArray errors;
    QStringList boxes;   // the texts of the boxes shown, a confirmation included
    QString informative; // of the last box
    QString detail;      // a piece of its details
};

} // namespace

Q_DECLARE_METATYPE(Listing)
Q_DECLARE_METATYPE(Closing)
Q_DECLARE_METATYPE(Failure)

class OpenPortsTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<StandIn> standIn;
    std::unique_ptr<MainWindow> window;

    QLabel &status() const { return *child<QLabel>(*window, "lblStatus"); }

private slots:
    void init()
    {
        standIn = std::make_unique<StandIn>(QCoreApplication::applicationDirPath());
        standIn->answerTo("list", entry("TCP", 8080));
        window = startWindow(*standIn, "10.0.0.5\n");
    }

    void cleanup()
    {
        window.reset();
    }

    // The table from the module's answer, sorted by port; lines that are no mapping are
    // left out and named; nothing open is a sentence, not an empty table. Ctrl+A, Ctrl+C
    // copies the rows as shown, a line each, tab-separated.
    void listing_data()
    {
        QTest::addColumn<Listing>("row");
        QTest::newRow("twenty, by port") << Listing{twenty(), {ours("TCP", "9000"), ours("UDP", "9000")}, 20, ""};
        // A port the router did not map, let in through this machine's firewall only: by its word, "firewall".
        QTest::newRow("another program's marked, other ways and times")
            << Listing{skype + entry("TCP", 5000, "PCP\t7199\tno\tyes\tyes\t") +
                           "UDP\t6000\tfd00::5\t6001\tIPv6\tNAT-PMP\t604800\tno\tyes\tno\t\n" +
                           entry("TCP", 65535, "firewall\t0\tyes\tyes\tyes\tHLMX 65535 TCP"),
                       {{"UDP", "3478", "10.0.0.5", "UPnP", "no end", "no", "another program (\"Skype\")"},
                        {"TCP", "5000", "10.0.0.5", "PCP", "1 h 59 min", "yes", "this tool"},
                        {"UDP", "6000", "fd00::5 port 6001", "NAT-PMP", "7 days 0 h", "no", "this tool"},
                        {"TCP", "65535", "10.0.0.5", "this computer's firewall only", "kept open", "yes", "this tool"}},
                       4, ""};
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
                       6, "1 line of the module's answer could not be read and is left out:\n\"server\""};
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
                       {ours("UDP", "1")}, 1, "9 lines of the module's answer could not be read and are left out"};
        QTest::newRow("nothing readable")
            << Listing{"a\tb\n\t\n", {}, 0, "2 lines of the module's answer could not be read and are left out:\n\"a b\"\n\" \""};
    }

    void listing()
    {
        QFETCH(Listing, row);
        standIn->answerTo("list", row.answer);
        Seen seen;
        QString copied;
        DialogDriver driver([&](QDialog &dialog) {
            seen = see(dialog, status());
            QApplication::clipboard()->clear();
            auto *table = child<QTableWidget>(dialog, "portTable");
            QTest::keyClick(table, Qt::Key_A, Qt::ControlModifier);
            QTest::keyClick(table, Qt::Key_C, Qt::ControlModifier);
            copied = QApplication::clipboard()->text();
        });
        BoxCloser closer;
        openPortsWithKeys(*window, driver);
        QVERIFY2(closer.boxes.isEmpty(), qPrintable(closer.boxes.value(0).text));
        QCOMPARE(driver.title, QStringLiteral("Open ports"));
        QCOMPARE(seen.rows.size(), row.rowCount);
        QCOMPARE(seen.rows.mid(0, row.rows.size()), row.rows);
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
    void closing_data()
    {
        QTest::addColumn<Closing>("row");
        // Sorted: UDP 3478 (Skype's), TCP 8080, UDP 8080, TCP 9000.
        const QString two("Close 2 ports?"), one("Close 1 port?"), others("Close another program's port?");
        QTest::newRow("two ports, two groups")
            << Closing{{1, 3}, "Close 2 ports", QMessageBox::Question, two, "TCP 8080 to 10.0.0.5\nTCP 9000 to 10.0.0.5",
                       "close 10.0.0.5 8080 TRUE FALSE 10.0.0.5 9000 TRUE FALSE"};
        QTest::newRow("TCP and UDP of a port, one group")
            << Closing{{1, 2}, "Close 2 ports", QMessageBox::Question, two, "", "close 10.0.0.5 8080 TRUE TRUE"};
        QTest::newRow("another program's among them, warned")
            << Closing{{0, 3}, "Close anyway", QMessageBox::Warning, others,
                       "UDP 3478 to 10.0.0.5 was opened by another program (\"Skype\"), not by this tool.",
                       "close 10.0.0.5 3478 FALSE TRUE 10.0.0.5 9000 TRUE FALSE"};
        QTest::newRow("warning closed without a choice") << Closing{{0}, "", QMessageBox::Warning, others, "", ""};
        QTest::newRow("cancelled") << Closing{{3}, "Cancel", QMessageBox::Question, one, "", ""};
    }

    void closing()
    {
        QFETCH(Closing, row);
        standIn->answerTo("list", entry("TCP", 9000) + entry("UDP", 8080) + entry("TCP", 8080) + skype);
        standIn->answerTo("close", "0\n");
        Seen before, after;
        bool closeEnabled = true;
        StatusPaints painted(status());
        BoxCloser closer(nullptr, row.click);
        DialogDriver driver([&](QDialog &dialog) {
            before = see(dialog, status());
            closeEnabled = child<QPushButton>(dialog, "closeButton")->isEnabled();
            standIn->answerTo("list", entry("TCP", 9000));
            selectRows(dialog, row.selected);
            QTest::mouseClick(child<QPushButton>(dialog, "closeButton"), Qt::LeftButton);
            after = see(dialog, status());
        });
        openPortsWithKeys(*window, driver);
        QVERIFY(!closeEnabled); // nothing selected yet
        QCOMPARE(closer.boxes.size(), 1);
        QCOMPARE(closer.boxes[0].icon, row.icon);
        QCOMPARE(closer.boxes[0].text, row.asked);
        QCOMPARE(closer.boxes[0].flaw, QString());
        QVERIFY2(closer.boxes[0].informative.contains(row.warning), qPrintable(closer.boxes[0].informative));
        const QList<ModuleRun> runs = standIn->runs();
        if (row.command.isEmpty()) {
            QCOMPARE(runs.size(), 2);
            QCOMPARE(after.rows, before.rows);
            return;
        }
        QCOMPARE(runs.size(), 4);
        QCOMPARE(runs[2].commandFile, row.command.replace(' ', '\n') + '\n');
        QCOMPARE(runs[3].commandFile, QByteArray("list\n"));
        QCOMPARE(after.rows.size(), 1);
        QCOMPARE(after.status, QStringLiteral("Ready"));
        const QStringList &texts = painted.texts;
        const int closing = texts.indexOf(QStringLiteral("Closing ports..."));
        QVERIFY2(texts.indexOf(QStringLiteral("Listing ports...")) < closing, qPrintable(texts.join('|')));
        QVERIFY2(texts.lastIndexOf(QStringLiteral("Listing ports...")) > closing, qPrintable(texts.join('|')));
    }

    // A failed exchange shows its reason, the module's headline once and its other words in
    // the details, and the dialog stays usable: Refresh lists again.
    void failures_data()
    {
        QTest::addColumn<Failure>("row");
        const QByteArray noRouter("No router on this network answered. Turn on UPnP or NAT-PMP in the router's settings.");
        const QByteArray refused("The router does not let port 8080 be closed.");
        const QString unread("FATAL ERROR: Could not read internal port forwarding module.");
        const QString cannotList("Could not list the open ports."), cannotClose("Could not close the port.");
        QTest::newRow("list refused") << Failure{"list", noRouter + '\n', "", ">>[gateway-none-answered] " + noRouter + "\n>[x] Asked 10.0.0.1\n",
                                                 {cannotList}, noRouter, "Asked 10.0.0.1"};
        QTest::newRow("list by a module killed after a whole answer")
            << Failure{"list", entry("TCP", 8080), "kill", "", {unread, cannotList}, "ERROR", ""};
        QTest::newRow("close refused") << Failure{"close", refused + '\n', "", ">>[record-refused] " + refused + "\n>[x] TCP 8080: 714\n",
                                                  {"Close 1 port?", cannotClose}, refused, "TCP 8080: 714"};
        QTest::newRow("close by a module killed after a whole 0")
            << Failure{"close", "0\n", "kill", "", {"Close 1 port?", unread, cannotClose}, "ERROR", ""};
    }

    void failures()
    {
        QFETCH(Failure, row);
        const bool listing = row.word == "list";
        standIn->answerTo(row.word, row.answer, row.errors);
        qputenv("STANDIN_TROUBLE", row.trouble);
        qputenv("STANDIN_TROUBLE_FOR", row.word);
        Seen failed, refreshed;
        BoxCloser closer(nullptr, "Close 1 port");
        DialogDriver driver([&](QDialog &dialog) {
            if (!listing) {
                selectRows(dialog, {0});
                QTest::mouseClick(child<QPushButton>(dialog, "closeButton"), Qt::LeftButton);
            }
            failed = see(dialog, status());
            qunsetenv("STANDIN_TROUBLE");
            standIn->answerTo("list", "");
            QTest::mouseClick(child<QPushButton>(dialog, "refreshButton"), Qt::LeftButton);
            refreshed = see(dialog, status());
        });
        openPortsWithKeys(*window, driver);
        QStringList texts;
        for (const ShownBox &box : closer.boxes)
            texts.append(box.text);
        QCOMPARE(texts, row.boxes);
        const ShownBox &reason = closer.boxes.last();
        QCOMPARE(reason.icon, QMessageBox::Critical);
        QCOMPARE(reason.format, Qt::PlainText);
        QCOMPARE(reason.informative, row.informative);
        QVERIFY2(reason.details.contains(row.detail), qPrintable(reason.details));
        QVERIFY(!reason.details.contains(QStringLiteral(">")));
        QCOMPARE(failed.status, QStringLiteral("Ready (error ocurred)"));
        // A failed list shows nothing stale; a failed close lists again.
        QCOMPARE(failed.sentence, listing ? notListed : QString());
        QCOMPARE(failed.rows.size(), listing ? 0 : 1);
        QCOMPARE(refreshed.sentence, nothingOpen);
        QCOMPARE(refreshed.status, QStringLiteral("Ready"));
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
        DialogDriver driver;
        if (way.endsWith('\n')) {
            standIn->answerTo("kavro", way.toLatin1());
            const QList<ShownBox> boxes = pressForward(*window, true, false, "10.0.0.5", "5555", openPorts);
            QCOMPARE(boxes.size(), 1);
            QCOMPARE(boxes[0].buttons.size(), 2);
            QVERIFY(boxes[0].buttons.contains(openPorts));
            QCOMPARE(driver.opened, 1);
        } else {
            QWidget *widget = child<QWidget>(*window, qPrintable(way));
            if (auto *field = widget->findChild<QLineEdit *>())
                widget = field; // the spin box's text
            const QPoint inside(3, 3);
            QContextMenuEvent event(QContextMenuEvent::Mouse, inside, widget->mapToGlobal(inside));
            QApplication::sendEvent(widget, &event);
            waitUntil([&] { return driver.opened == 1; });
            QCOMPARE(driver.menuEntries.value(0), openPorts);
            QCOMPARE(driver.firstShortcut, QStringLiteral("Ctrl+O"));
            // Undo, Copy and the rest below a separator.
            QCOMPARE(driver.menuEntries.value(1) == QLatin1String("-") && driver.menuEntries.size() > 2, fieldEntries);
        }
        QCOMPARE(standIn->runs().last().commandFile, QByteArray("list\n"));
    }

    // The dialog opens in the table; Tab walks on to the buttons, each with a name a screen
    // reader says.
    void keyboardAndNames()
    {
        QStringList names;
        DialogDriver driver([&](QDialog &dialog) {
            waitUntil([&] { return dialog.isActiveWindow(); });
            selectRows(dialog, {0});
            for (int step = 0; step < 5; ++step) {
                QWidget *focused = QApplication::focusWidget();
                names.append(QAccessible::queryAccessibleInterface(focused)->text(QAccessible::Name));
                QTest::keyClick(focused, Qt::Key_Tab);
            }
        });
        openPortsWithKeys(*window, driver);
        QCOMPARE(names, QStringList({"Open ports", "Close selected", "Refresh", "Done", "Open ports"}));
    }
};

QTEST_MAIN(OpenPortsTest)
#include "open_ports_test.moc"
