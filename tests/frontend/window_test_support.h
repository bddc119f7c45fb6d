#ifndef VARNETH_WINDOW_TEST_SUPPORT_H
#define VARNETH_WINDOW_TEST_SUPPORT_H

#include "mainwindow.h"

// Qt as a whole: the tests reach into every kind of widget the window and its boxes hold.
#include <QtTest>
#include <QtWidgets>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>

template <class T>
T *child(const QObject &window, const char *name)
{
    return window.findChild<T *>(QString::fromLatin1(name));
}

inline void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
}

// Every text the status line is painted with.
class StatusPaints : public QObject
{
public:
    explicit StatusPaints(QLabel &status) { status.installEventFilter(this); }
    QStringList texts;
    QStringList cut; // painted but not whole inside the window

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::Paint)
            return false;
        const auto *label = static_cast<QLabel *>(watched);
        texts.append(label->text());
        const int shown = std::min(label->geometry().right(), label->parentWidget()->width() - 1) - label->x() + 1;
        if (label->fontMetrics().horizontalAdvance(label->text()) > shown)
            cut.append(label->text());
        return false;
    }
};

struct ModuleRun {
    qint64 pid;
    QString directory;
    QByteArray commandFile;
    QByteArray mode; // the directory's, in octal
};

// The test-only stand-in, installed as the module beside a program (standin_module.sh).
class StandIn
{
public:
    explicit StandIn(const QString &programDirectory)
    {
        const QString module = QDir(programDirectory).filePath(QStringLiteral("Kavro"));
        QFile::remove(module);
        if (!scratch.isValid() || !QFile::copy(QStringLiteral(STANDIN_MODULE), module))
            qFatal("cannot install the stand-in module");
        qputenv("STANDIN_DIR", QFile::encodeName(scratch.path()));
        qunsetenv("STANDIN_TROUBLE");
        qunsetenv("STANDIN_TROUBLE_FOR");
    }

    // What the next runs whose command word is `word` (empty: any word without an answer of
    // its own) leave as their result file (a null one: none) and write on their standard error and output.
    void answer(const QByteArray &word, const QByteArray &result, const QByteArray &errors = {},
                const QByteArray &output = {})
    {
        const QByteArray suffix = word.isEmpty() ? QByteArray() : "." + word;
        QFile::remove(file("answer" + suffix));
        if (!result.isNull())
            writeFile(file("answer" + suffix), result);
        writeFile(file("errors" + suffix), errors);
        writeFile(file("output" + suffix), output);
    }

    QList<ModuleRun> runs() const
    {
        QList<ModuleRun> runs;
        QFile noted(file("runs"));
        noted.open(QIODevice::ReadOnly); // none before the first run
        for (const QByteArray &line : noted.readAll().split('\n')) {
            const QList<QByteArray> fields = line.split('\t');
            if (fields.size() == 4)
                runs.append({fields[0].toLongLong(), QFile::decodeName(fields[1]), QByteArray::fromHex(fields[2]),
                             fields[3]});
        }
        return runs;
    }

    QString file(const QByteArray &name) const { return scratch.filePath(QString::fromLatin1(name)); }

private:
    QTemporaryDir scratch;
};

// What a person reads of a label, as a screen reader reads it: markup it renders is gone.
inline QString readText(QWidget *label)
{
    QAccessibleInterface *face = label ? QAccessible::queryAccessibleInterface(label) : nullptr;
    return face ? face->text(QAccessible::Name) : QString();
}

struct ShownBox {
    QStringList buttons;
    QString text;
    QMessageBox::Icon icon;
    Qt::TextFormat format;
    QString informative;
    QString details;               // as its pane shows them
    int informativeLineCharacters; // how many average characters a line of it holds
    // Empty when it bears the program's name, whole, with room for a title bar's buttons beside
    // it, its first text whole, and its first text and sentences read as the characters they are.
    QString flaw;
};

// A person at the screen, acting from inside whatever loop runs. Closes every modal message box
// once it has been up for a turn of its event loop, noting what it showed and writing its text
// to `echo` at once when given one; a box with a button named `click` is closed by that button.
// Chooses the first entry of a context menu. Acts on the open ports dialog once it is up and
// has listed, from inside its own loop, then closes it.
class Person : public QObject
{
public:
    explicit Person(QString click = {}, std::function<void(QDialog &)> act = {}, FILE *echo = nullptr)
    {
        connect(&boxTimer, &QTimer::timeout, this, [this, echo, click] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box || box != seenBox) {
                seenBox = box;
                return;
            }
            auto *informative = box->findChild<QLabel *>(QStringLiteral("qt_msgbox_informativelabel"));
            QStringList buttons;
            QAbstractButton *clicked = nullptr;
            for (QAbstractButton *button : box->buttons()) {
                buttons.append(button->text());
                if (button->text() == click)
                    clicked = button;
            }
            auto *label = box->findChild<QLabel *>(QStringLiteral("qt_msgbox_label"));
            // A title bar's buttons need room beside the title; a line cut off is not read.
            QFont bold = box->font();
            bold.setBold(true);
            bool textFits = label->wordWrap() ? label->heightForWidth(label->width()) <= label->height() : true;
            for (const QString &line : label->text().split(QLatin1Char('\n')))
                textFits = textFits && (label->wordWrap() || label->fontMetrics().horizontalAdvance(line) <= label->width());
            const QString flaw = box->windowTitle() != QLatin1String("Brask's Port Forwarding Tool") || !textFits ||
                                         box->width() < QFontMetrics(bold).horizontalAdvance(box->windowTitle()) + 120
                                     ? QStringLiteral("box cut off or misnamed: ")
                                 : readText(label) != box->text() || readText(informative) != box->informativeText()
                                     ? QStringLiteral("box rendered markup: ")
                                     : QString();
            const int lineCharacters = informative ? informative->width() / informative->fontMetrics().averageCharWidth() : 0;
            boxes.append({buttons, box->text(), box->icon(), box->textFormat(), box->informativeText(),
                          box->detailedText(), lineCharacters, flaw});
            if (echo) {
                std::fprintf(echo, "%s\n", qPrintable(box->text()));
                std::fflush(echo);
            }
            seenBox = nullptr;
            if (clicked)
                clicked->click();
            else
                box->done(0);
        });
        // A timer of its own: a timer's handler is not entered again from the loops the dialog's act runs.
        connect(&dialogTimer, &QTimer::timeout, this, [this, act] {
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
            if (!up || dialog != seenDialog) {
                seenDialog = up ? dialog : nullptr;
                return;
            }
            dialogTimer.stop();
            if (act)
                act(*dialog);
            ++opened;
            dialog->done(0);
        });
        boxTimer.start(10);
        dialogTimer.start(10);
    }
    QList<ShownBox> boxes;
    int opened = 0;
    QStringList menuEntries;
    QString firstShortcut;

private:
    QTimer boxTimer, dialogTimer;
    QWidget *seenBox = nullptr, *seenDialog = nullptr;
};

// Handles events until `done` holds. No clock of its own: a wait that never ends is ended
// by the run's deadline (ctest's TIMEOUT).
inline void waitUntil(const std::function<bool()> &done)
{
    while (!done())
        QTest::qWait(10);
}

// The window, its start-up answered with `addresses` and showing no box, up and active.
inline std::unique_ptr<MainWindow> startWindow(StandIn &standIn, const QByteArray &addresses)
{
    standIn.answer("", addresses);
    Person person;
    auto window = std::make_unique<MainWindow>();
    if (!person.boxes.isEmpty())
        QTest::qFail(qPrintable("the start-up showed a box: " + person.boxes[0].text), __FILE__, __LINE__);
    window->show();
    QApplication::setActiveWindow(window.get());
    waitUntil([&] { return QTest::qWaitForWindowActive(window.get(), 100); });
    return window;
}

// Fills the form and clicks Forward; a Person closes the boxes shown, by the button `click`
// where they have it, and the open ports dialog. No box has a flaw.
inline QList<ShownBox> pressForward(MainWindow &window, bool tcp, bool udp, const QString &ip, const QString &port,
                                    const QString &click = QString())
{
    child<QCheckBox>(window, "chkTCP")->setChecked(tcp);
    child<QCheckBox>(window, "ChkUDP")->setChecked(udp);
    child<QLineEdit>(window, "editip")->setText(ip);
    child<QLineEdit>(window, "editport")->setText(port);
    Person person(click);
    QTest::mouseClick(child<QPushButton>(window, "btnForward"), Qt::LeftButton);
    for (const ShownBox &box : person.boxes)
        if (!box.flaw.isEmpty())
            QTest::qFail(qPrintable(box.flaw + box.text), __FILE__, __LINE__);
    return person.boxes;
}

// Opens the open ports dialog as Ctrl+O does, and waits until `person` has closed it.
inline void openPortsWithKeys(MainWindow &window, const Person &person)
{
    QTest::keyClick(&window, Qt::Key_O, Qt::ControlModifier);
    waitUntil([&] { return person.opened == 1; });
}

#endif
