// The open ports dialog beside the stand-in module: the module's list read and shown,
// the ways into the dialog, closing with one confirmation and one "close" for all the
// selected ports, and failures that leave the dialog usable.

#include "mainwindow.h"
#include "open_port.h"
#include "port_list.h"
#include "port_words.h"
#include "window_test_support.h"

#include <QAccessible>
#include <QCheckBox>
#include <QDialog>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>

#include <functional>
#include <memory>

namespace {

const QString nothingOpen = QStringLiteral("This machine has no open ports through the gateway.");
const QString notListed = QStringLiteral("The open ports could not be listed. Press Refresh to try again.");
const QString openPorts = QStringLiteral("Open ports\u2026");

// One line of the module's list.
struct Entry {
    const char *protocol = "TCP";
    int port = 8080;
    const char *address = "10.0.0.5";
    const char *how = "UPnP";
    int seconds = 3600;
    bool keptOpen = true;
    bool madeHere = true;
    bool firewall = true;
    const char *description = "HLMX 8080 TCP";
    int internalPort = 0; // 0: the same as `port`

    QByteArray line() const
    {
        const auto yesNo = [](bool yes) { return QByteArray(yes ? "yes" : "no"); };
        return QByteArrayList{protocol,
                              QByteArray::number(port),
                              address,
                              QByteArray::number(internalPort ? internalPort : port),
                              QByteArray(address).contains(':') ? "IPv6" : "IPv4",
                              how,
                              QByteArray::number(seconds),
                              yesNo(keptOpen),
                              yesNo(madeHere),
                              yesNo(firewall),
                              description}
            .join('\t');
    }
};

QByteArray listOf(const QList<Entry> &entries)
{
    QByteArray list;
    for (const Entry &entry : entries)
        list += entry.line() + '\n';
    return list;
}

// Twenty of ours, TCP and UDP of ports 9000 to 9009, listed highest first.
QByteArray twenty()
{
    QList<Entry> entries;
    for (int port = 9009; port >= 9000; --port)
        for (const char *protocol : {"UDP", "TCP"})
            entries.append(Entry{protocol, port});
    return listOf(entries);
}

const Entry skype{"UDP", 3478, "10.0.0.5", "UPnP", 0, false, false, false, "Skype"};

QList<QStringList> tableTexts(const QDialog &dialog)
{
    const auto *table = child<QTableWidget>(dialog, "portTable");
    QList<QStringList> rows;
    for (int row = 0; row < table->rowCount(); ++row) {
        QStringList texts;
        for (int column = 0; column < table->columnCount(); ++column)
            texts.append(table->item(row, column)->text());
        rows.append(texts);
    }
    return rows;
}

QStringList boxTexts(const QList<ShownBox> &boxes)
{
    QStringList texts;
    for (const ShownBox &box : boxes)
        texts.append(box.text + QLatin1Char('|') + box.informative);
    return texts;
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
    bool tableShown;
    QString sentence; // empty when hidden
    QString note;     // empty when hidden
    QString status;   // the window's status line
};

Seen seeDialog(const QDialog &dialog, const QLabel &status)
{
    const auto *sentence = child<QLabel>(dialog, "portsSentence");
    const auto *note = child<QLabel>(dialog, "unreadNote");
    return {tableTexts(dialog), child<QTableWidget>(dialog, "portTable")->isVisibleTo(&dialog),
            sentence->isVisibleTo(&dialog) ? sentence->text() : QString(),
            note->isVisibleTo(&dialog) ? note->text() : QString(), status.text()};
}

// Acts on the open ports dialog once it is up and has listed, from inside its own loop,
// then closes it. A context menu that comes up first has its first entry chosen.
// Boxes are left to a BoxCloser.
class DialogDriver : public QObject
{
public:
    explicit DialogDriver(std::function<void(QDialog &)> act = [](QDialog &) {})
    {
        connect(&timer, &QTimer::timeout, this, [this, act] {
            if (auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget())) {
                for (QAction *action : menu->actions())
                    menuEntries.append(action->isSeparator() ? QStringLiteral("-") : action->text());
                QAction *first = menu->actions().value(0);
                firstShortcut = first->isShortcutVisibleInContextMenu() ? first->shortcut().toString() : QString();
                QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(first).center());
                return;
            }
            auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
            // Up for a turn of its own loop, not a box's last one, and not waiting for the module.
            const bool up =
                dialog && dialog->objectName() == QLatin1String("openPortsDialog") && !QApplication::overrideCursor();
            if (!up || dialog != seen) {
                seen = up ? dialog : nullptr;
                return;
            }
            timer.stop();
            title = dialog->windowTitle();
            act(*dialog);
            ++opened;
            dialog->done(0);
        });
        timer.start(10);
    }

    int opened = 0;
    QString title;
    QStringList menuEntries;
    QString firstShortcut;

private:
    QTimer timer;
    QDialog *seen = nullptr;
};

struct Listing {
    QByteArray answer;
    QByteArray errors;
    QList<QStringList> rows; // all, or the first few, in order
    int rowCount;
    QString sentence;
    QString note; // a piece of it
};

struct Word {
    OpenPort port;
    QString subject, timeLeft, madeBy;
};

struct Closing {
    QList<Entry> listed;
    QList<int> selected; // rows of the sorted table
    QString click;       // in the confirmation box; empty: it is closed without a choice
    QMessageBox::Icon icon;
    QString asked;      // the confirmation's text
    QString warning;    // a piece of its informative text
    QByteArray command; // the close command sent, blank-separated; empty: none
};

struct Failure {
    QByteArray word;   // the exchange that fails: "list" or "close"
    QByteArray answer; // to it, and the stand-in's trouble and standard error in it
    QByteArray trouble;
    QByteArray errors;
    QStringList boxes;   // the texts of the boxes shown, confirmation included
    QString informative; // of the last box
    QString detail;      // a piece of its details
};

} // namespace

Q_DECLARE_METATYPE(Listing)
Q_DECLARE_METATYPE(Word)
Q_DECLARE_METATYPE(Closing)
Q_DECLARE_METATYPE(Failure)

class OpenPortsTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<StandIn> standIn;
    std::unique_ptr<MainWindow> window;

    QLabel &status() const { return *child<QLabel>(*window, "lblStatus"); }

    // Opens the dialog as Ctrl+O does, and waits until `driver` has closed it.
    void openWithKeys(const DialogDriver &driver)
    {
        QTest::keyClick(window.get(), Qt::Key_O, Qt::ControlModifier);
        QTRY_COMPARE(driver.opened, 1);
    }

private slots:
    void init()
    {
        standIn = std::make_unique<StandIn>(QCoreApplication::applicationDirPath());
        standIn->answer("10.0.0.5\n");
        BoxCloser closer;
        window = std::make_unique<MainWindow>();
        QVERIFY(closer.boxes.isEmpty());
        window->show();
        QApplication::setActiveWindow(window.get());
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
    }

    void cleanup()
    {
        window.reset();
        qunsetenv("STANDIN_TROUBLE");
        qunsetenv("STANDIN_TROUBLE_FOR");
    }

    // The table from the module's answer, sorted by port; lines that are no mapping are
    // left out and named; nothing open is a sentence, not an empty table.
    void listing_data()
    {
        QTest::addColumn<Listing>("row");
        const QStringList ours{"TCP", "8080", "10.0.0.5", "UPnP", "kept open", "yes", "this tool"};
        QTest::newRow("none") << Listing{"", "", {}, 0, nothingOpen, ""};
        QTest::newRow("one") << Listing{Entry{}.line() + '\n', "", {ours}, 1, "", ""};
        QTest::newRow("twenty, by port") << Listing{
            twenty(),
            "",
            {{"TCP", "9000", "10.0.0.5", "UPnP", "kept open", "yes", "this tool"},
             {"UDP", "9000", "10.0.0.5", "UPnP", "kept open", "yes", "this tool"},
             {"TCP", "9001", "10.0.0.5", "UPnP", "kept open", "yes", "this tool"}},
            20,
            "",
            ""};
        QTest::newRow("twenty and a garbled line") << Listing{twenty() + "TCP\t80\t10.0.0.5\n",
                                                              "",
                                                              {},
                                                              20,
                                                              "",
                                                              "1 line of the module's answer could not "
                                                              "be read and is left out:\n\"TCP 80 10.0.0.5\""};
        QTest::newRow("another program's, marked")
            << Listing{listOf({skype, Entry{"TCP", 5000, "10.0.0.7", "PCP", 7199, false}}),
                       "",
                       {{"UDP", "3478", "10.0.0.5", "UPnP", "no end", "no", "another program (\"Skype\")"},
                        {"TCP", "5000", "10.0.0.7", "PCP", "1 h 59 min", "yes", "this tool"}},
                       2,
                       "",
                       ""};
        QTest::newRow("nothing readable") << Listing{
            "a\tb\n\t\n", "", {}, 0, "", "2 lines of the module's answer could not be read and are left out"};
    }

    void listing()
    {
        QFETCH(Listing, row);
        standIn->answerTo("list", row.answer, row.errors);
        Seen seen{};
        bool italic = false;
        DialogDriver driver([&](QDialog &dialog) {
            seen = seeDialog(dialog, status());
            const auto *table = child<QTableWidget>(dialog, "portTable");
            italic = table->rowCount() > 0 && table->item(0, 0)->font().italic();
        });
        BoxCloser closer;
        openWithKeys(driver);
        QVERIFY2(closer.boxes.isEmpty(), qPrintable(boxTexts(closer.boxes).join(QLatin1Char('\n'))));
        QCOMPARE(driver.title, QStringLiteral("Open ports"));
        QCOMPARE(seen.rows.size(), row.rowCount);
        QCOMPARE(seen.rows.mid(0, row.rows.size()), row.rows);
        for (int index = 1; index < seen.rows.size(); ++index)
            QVERIFY(seen.rows[index - 1][1].toInt() <= seen.rows[index][1].toInt());
        QCOMPARE(seen.tableShown, row.sentence.isEmpty());
        QCOMPARE(seen.sentence, row.sentence);
        QCOMPARE(seen.note.isEmpty(), row.note.isEmpty());
        QVERIFY2(seen.note.contains(row.note), qPrintable(seen.note));
        QCOMPARE(italic, !row.rows.isEmpty() && row.rows[0].last() != QLatin1String("this tool"));
        QCOMPARE(seen.status, QStringLiteral("Ready"));
        QCOMPARE(standIn->runs().size(), 2);
        QCOMPARE(standIn->runs().last().commandFile, QByteArray("list\n"));
    }

    // Each line the module could have garbled is left out whole, never shown in part.
    void unreadLines_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<bool>("read");
        const QByteArray good = Entry{}.line();
        const auto with = [&](int field, const QByteArray &value) {
            QByteArrayList fields = good.split('\t');
            fields[field] = value;
            return fields.join('\t');
        };
        QTest::newRow("as the module writes it") << good << true;
        QTest::newRow("no description") << with(10, "") << true;
        QTest::newRow("port 65535, IPv6") << with(1, "65535").replace("IPv4", "IPv6") << true;
        QTest::newRow("ten fields") << good.left(good.lastIndexOf('\t')) << false;
        QTest::newRow("a tab in the description") << good + "\tmore" << false;
        QTest::newRow("lower-case protocol") << with(0, "tcp") << false;
        QTest::newRow("port 0") << with(1, "0") << false;
        QTest::newRow("port 65536") << with(1, "65536") << false;
        QTest::newRow("port with a sign") << with(3, "+80") << false;
        QTest::newRow("port with a blank") << with(1, " 80") << false;
        QTest::newRow("no address") << with(2, "") << false;
        QTest::newRow("unknown family") << with(4, "IPv5") << false;
        QTest::newRow("unknown way") << with(5, "upnp") << false;
        QTest::newRow("negative time") << with(6, "-1") << false;
        QTest::newRow("time past any lease") << with(6, "9999999999999") << false;
        QTest::newRow("Yes for yes") << with(7, "Yes") << false;
        QTest::newRow("empty made-here") << with(8, "") << false;
        QTest::newRow("1 for a firewall entry") << with(9, "1") << false;
    }

    void unreadLines()
    {
        QFETCH(QByteArray, line);
        QFETCH(bool, read);
        const PortList list = readPortList({QString::fromUtf8(Entry{"UDP", 1}.line()), QString::fromUtf8(line)});
        QVERIFY(!list.failure);
        QCOMPARE(list.ports.size(), read ? 2 : 1);
        QCOMPARE(list.unread, read ? QStringList() : QStringList{QString::fromUtf8(line)});
    }

    // One line without a tab is the module's reason, not a garbled list; no line is an empty list.
    void listFailureOrEmpty()
    {
        const PortList refused = readPortList({QStringLiteral("No router on this network answered.")});
        QCOMPARE(refused.failure.value_or(QString()), QStringLiteral("No router on this network answered."));
        QVERIFY(refused.ports.isEmpty() && refused.unread.isEmpty());
        const PortList empty = readPortList({});
        QVERIFY(!empty.failure && empty.ports.isEmpty() && empty.unread.isEmpty());
    }

    void words_data()
    {
        QTest::addColumn<Word>("row");
        const auto port = [](const char *address, int external, int internal, qint64 seconds, bool kept, bool made,
                             const char *description) {
            return OpenPort{
                "TCP",      external, address, internal, QString::fromLatin1(address).contains(':') ? "IPv6" : "IPv4",
                "UPnP",     seconds,  kept,    made,     false,
                description};
        };
        QTest::newRow("kept open") << Word{port("10.0.0.5", 80, 80, 3600, true, true, ""), "TCP 80 to 10.0.0.5",
                                           "kept open", "this tool"};
        QTest::newRow("no end") << Word{port("10.0.0.5", 80, 8080, 0, false, true, ""), "TCP 80 to 10.0.0.5:8080",
                                        "no end", "this tool"};
        QTest::newRow("IPv6, seconds") << Word{port("fd00::5", 80, 81, 59, false, true, ""),
                                               "TCP 80 to fd00::5 port 81", "59 s", "this tool"};
        QTest::newRow("a minute") << Word{port("10.0.0.5", 80, 80, 60, false, false, " "), "TCP 80 to 10.0.0.5",
                                          "1 min", "another program"};
        QTest::newRow("hours") << Word{port("10.0.0.5", 80, 80, 7199, false, false, "Game"), "TCP 80 to 10.0.0.5",
                                       "1 h 59 min", "another program (\"Game\")"};
        QTest::newRow("one day") << Word{port("10.0.0.5", 80, 80, 86400 + 3599, false, true, ""), "TCP 80 to 10.0.0.5",
                                         "1 day 0 h", "this tool"};
        QTest::newRow("a week") << Word{port("10.0.0.5", 80, 80, 7 * 86400, false, true, ""), "TCP 80 to 10.0.0.5",
                                        "7 days 0 h", "this tool"};
    }

    void words()
    {
        QFETCH(Word, row);
        QCOMPARE(portSubject(row.port), row.subject);
        QCOMPARE(timeLeftText(row.port), row.timeLeft);
        QCOMPARE(madeByText(row.port), row.madeBy);
    }

    // The selected rows are closed with one confirmation and one "close" exchange with a
    // group per address and port, then listed again; another program's port gets a warning
    // that names it, and a refused confirmation sends nothing.
    void closing_data()
    {
        QTest::addColumn<Closing>("row");
        const QList<Entry> listed{Entry{"TCP", 9000}, Entry{"UDP", 8080}, Entry{"TCP", 8080}, skype};
        // Sorted: UDP 3478 (Skype), TCP 8080, UDP 8080, TCP 9000.
        const QString ours("Close 2 ports?");
        QTest::newRow("two ports, two groups") << Closing{listed,
                                                          {1, 3},
                                                          "Close 2 ports",
                                                          QMessageBox::Question,
                                                          ours,
                                                          "TCP 8080 to 10.0.0.5\nTCP 9000 to 10.0.0.5",
                                                          "close 10.0.0.5 8080 TRUE FALSE 10.0.0.5 9000 TRUE FALSE"};
        QTest::newRow("TCP and UDP of a port, one group") << Closing{
            listed, {1, 2}, "Close 2 ports", QMessageBox::Question, ours, "", "close 10.0.0.5 8080 TRUE TRUE"};
        QTest::newRow("one port") << Closing{
            listed, {3}, "Close 1 port", QMessageBox::Question, "Close 1 port?", "", "close 10.0.0.5 9000 TRUE FALSE"};
        QTest::newRow("another program's among them, warned")
            << Closing{listed,
                       {0, 3},
                       "Close anyway",
                       QMessageBox::Warning,
                       "Close another program's port?",
                       "UDP 3478 to 10.0.0.5 was opened by another program (\"Skype\"), not by this tool.",
                       "close 10.0.0.5 3478 FALSE TRUE 10.0.0.5 9000 TRUE FALSE"};
        QTest::newRow("warning closed without a choice")
            << Closing{listed, {0}, "", QMessageBox::Warning, "Close another program's port?", "", ""};
        QTest::newRow("cancelled") << Closing{listed, {3}, "Cancel", QMessageBox::Question, "Close 1 port?", "", ""};
    }

    void closing()
    {
        QFETCH(Closing, row);
        standIn->answerTo("list", listOf(row.listed));
        standIn->answerTo("close", "0\n");
        const QList<Entry> left{Entry{"TCP", 9000}};
        Seen before{}, after{};
        bool closeEnabled = true;
        BoxCloser closer(nullptr, row.click);
        DialogDriver driver([&](QDialog &dialog) {
            before = seeDialog(dialog, status());
            closeEnabled = child<QPushButton>(dialog, "closeButton")->isEnabled();
            standIn->answerTo("list", listOf(left));
            selectRows(dialog, row.selected);
            QTest::mouseClick(child<QPushButton>(dialog, "closeButton"), Qt::LeftButton);
            after = seeDialog(dialog, status());
        });
        openWithKeys(driver);
        QVERIFY(!closeEnabled); // nothing selected yet
        QCOMPARE(closer.boxes.size(), 1);
        QCOMPARE(closer.boxes[0].icon, row.icon);
        QCOMPARE(closer.boxes[0].text, row.asked);
        QCOMPARE(closer.boxes[0].title, QStringLiteral("Brask's Port Forwarding Tool"));
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
    }

    // A failed exchange shows its reason, the module's headline once and its other words in
    // the details, and the dialog stays usable: Refresh lists again.
    void failures_data()
    {
        QTest::addColumn<Failure>("row");
        const QByteArray noRouter(
            "No router on this network answered. Turn on UPnP or NAT-PMP in the router's settings.");
        const QString unread("FATAL ERROR: Could not read internal port forwarding module.");
        const QString cannotList("Could not list the open ports.");
        QTest::newRow("list refused") << Failure{"list",
                                                 noRouter + '\n',
                                                 "",
                                                 ">> " + noRouter + "\nSearched 10.0.0.1 for 2 s\n",
                                                 {cannotList},
                                                 noRouter,
                                                 "Searched 10.0.0.1 for 2 s"};
        QTest::newRow("list by a module killed after a whole answer")
            << Failure{"list", Entry{}.line() + '\n', "kill", "", {unread, cannotList}, "ERROR", ""};
        QTest::newRow("list left as a link")
            << Failure{"list", Entry{}.line() + '\n', "link", "", {unread, cannotList}, "ERROR", ""};
        QTest::newRow("close refused") << Failure{
            "close",
            "The router does not let port 8080 be closed.\n",
            "",
            ">> The router does not let port 8080 be closed.\nTCP 8080: 714 NoSuchEntryInArray\n",
            {"Close 1 port?", "Could not close the port."},
            "The router does not let port 8080 be closed.",
            "714 NoSuchEntryInArray"};
        QTest::newRow("close by a module killed after a whole 0")
            << Failure{"close", "0\n", "kill", "", {"Close 1 port?", unread, "Could not close the port."}, "ERROR", ""};
    }

    void failures()
    {
        QFETCH(Failure, row);
        const bool listing = row.word == "list";
        standIn->answerTo("list", Entry{}.line() + '\n');
        standIn->answerTo(row.word, row.answer, row.errors);
        qputenv("STANDIN_TROUBLE", row.trouble);
        qputenv("STANDIN_TROUBLE_FOR", row.word);
        Seen failed{}, refreshed{};
        BoxCloser closer(nullptr, "Close 1 port");
        DialogDriver driver([&](QDialog &dialog) {
            if (!listing) {
                selectRows(dialog, {0});
                QTest::mouseClick(child<QPushButton>(dialog, "closeButton"), Qt::LeftButton);
            }
            failed = seeDialog(dialog, status());
            qunsetenv("STANDIN_TROUBLE");
            standIn->answerTo("list", "");
            QTest::mouseClick(child<QPushButton>(dialog, "refreshButton"), Qt::LeftButton);
            refreshed = seeDialog(dialog, status());
        });
        openWithKeys(driver);
        QStringList texts;
        for (const ShownBox &box : closer.boxes)
            texts.append(box.text);
        QCOMPARE(texts, row.boxes);
        const ShownBox &reason = closer.boxes.last();
        QCOMPARE(reason.icon, QMessageBox::Critical);
        QCOMPARE(reason.format, Qt::PlainText);
        QCOMPARE(reason.informative, row.informative);
        QVERIFY2(reason.details.contains(row.detail), qPrintable(reason.details));
        QVERIFY(!reason.details.contains(QStringLiteral(">> ")));
        QCOMPARE(failed.status, QStringLiteral("Ready (error ocurred)"));
        // A failed list shows nothing stale; a failed close lists again.
        QCOMPARE(failed.sentence, listing ? notListed : QString());
        QCOMPARE(failed.rows.size(), listing ? 0 : 1);
        QCOMPARE(refreshed.sentence, nothingOpen);
        QCOMPARE(refreshed.status, QStringLiteral("Ready"));
    }

    // Ctrl+O, the first entry of the context menu anywhere in the window (before a text
    // field's own), and the button on a forward's outcome box all open the same dialog.
    void waysIn_data()
    {
        QTest::addColumn<QString>("way");
        QTest::addColumn<int>("menuEntries"); // entries before the field's own, separator included
        QTest::newRow("Ctrl+O") << "keys" << 0;
        QTest::newRow("menu on a caption") << "label_3" << 1;
        QTest::newRow("menu on the window's tool bar") << "mainToolBar" << 1;
        QTest::newRow("menu on the port field") << "editport" << 2;
        QTest::newRow("menu on the address number") << "spinBox" << 2;
        QTest::newRow("success box") << "0\n" << 0;
        QTest::newRow("error box") << "Invalid IP\n" << 0;
    }

    void waysIn()
    {
        QFETCH(QString, way);
        QFETCH(int, menuEntries);
        standIn->answerTo("list", Entry{}.line() + '\n');
        DialogDriver driver;
        if (way == QLatin1String("keys")) {
            openWithKeys(driver);
        } else if (way.endsWith('\n')) {
            standIn->answerTo("kavro", way.toLatin1());
            child<QCheckBox>(*window, "chkTCP")->setChecked(true);
            BoxCloser closer(nullptr, openPorts);
            QTest::mouseClick(child<QPushButton>(*window, "btnForward"), Qt::LeftButton);
            QCOMPARE(closer.boxes.size(), 1);
            QCOMPARE(closer.boxes[0].buttons.size(), 2);
            QVERIFY(closer.boxes[0].buttons.contains(openPorts));
            QCOMPARE(driver.opened, 1);
        } else {
            QWidget *widget = child<QWidget>(*window, qPrintable(way));
            if (auto *field = widget->findChild<QLineEdit *>())
                widget = field; // the spin box's text
            const QPoint inside(3, 3);
            QContextMenuEvent event(QContextMenuEvent::Mouse, inside, widget->mapToGlobal(inside));
            QApplication::sendEvent(widget, &event);
            QTRY_COMPARE(driver.opened, 1);
            QCOMPARE(driver.menuEntries.value(0), openPorts);
            // A field's own entries (Undo, Copy, ...) follow below a separator.
            QCOMPARE(driver.menuEntries.size() > 2, menuEntries == 2);
            QCOMPARE(driver.menuEntries.value(1) == QLatin1String("-"), menuEntries == 2);
            QCOMPARE(driver.firstShortcut, QStringLiteral("Ctrl+O"));
        }
        const QList<ModuleRun> runs = standIn->runs();
        QCOMPARE(runs.last().commandFile, QByteArray("list\n"));
    }

    // While the module lists or closes, the window's status line says so before the wait;
    // afterwards it reads Ready.
    void statusLine()
    {
        standIn->answerTo("list", Entry{}.line() + '\n');
        standIn->answerTo("close", "0\n");
        StatusPaints painted(status());
        BoxCloser closer(nullptr, "Close 1 port");
        DialogDriver driver([&](QDialog &dialog) {
            selectRows(dialog, {0});
            QTest::mouseClick(child<QPushButton>(dialog, "closeButton"), Qt::LeftButton);
        });
        openWithKeys(driver);
        const QStringList &texts = painted.texts;
        const int closing = texts.indexOf(QStringLiteral("Closing ports..."));
        QVERIFY2(texts.indexOf(QStringLiteral("Listing ports...")) < closing, qPrintable(texts.join('|')));
        QVERIFY2(texts.lastIndexOf(QStringLiteral("Listing ports...")) > closing, qPrintable(texts.join('|')));
        QCOMPARE(status().text(), QStringLiteral("Ready"));
    }

    // Tab walks the table, then the buttons, each with a name a screen reader says.
    void keyboardAndNames()
    {
        standIn->answerTo("list", Entry{}.line() + '\n');
        QStringList names;
        DialogDriver driver([&](QDialog &dialog) {
            QApplication::setActiveWindow(&dialog);
            child<QWidget>(dialog, "portTable")->setFocus();
            selectRows(dialog, {0});
            for (int step = 0; step < 5; ++step) {
                QWidget *focused = QApplication::focusWidget();
                names.append(QAccessible::queryAccessibleInterface(focused)->text(QAccessible::Name));
                QTest::keyClick(focused, Qt::Key_Tab);
            }
        });
        openWithKeys(driver);
        QCOMPARE(names, QStringList({"Open ports", "Close selected", "Refresh", "Done", "Open ports"}));
    }
};

QTEST_MAIN(OpenPortsTest)
#include "open_ports_test.moc"
