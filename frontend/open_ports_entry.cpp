#include "open_ports_entry.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QLineEdit>
#include <QMenu>
#include <QWidget>

#include <memory>

// Alt+O in the outcome box, O in the menu.
const char *const openPortsText = "&Open ports\u2026";

namespace {

// Puts the entry first in the context menu of the window and of every widget in it.
class ContextMenus : public QObject
{
public:
    ContextMenus(QWidget &window, QAction &entry) : QObject(&window), entry(entry)
    {
        window.installEventFilter(this);
        for (QWidget *widget : window.findChildren<QWidget *>())
            widget->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::ContextMenu)
            return false;
        // A text field keeps its own entries below ours; a spin box's are those of its field.
        auto *field = qobject_cast<QLineEdit *>(watched);
        std::unique_ptr<QMenu> menu(field ? field->createStandardContextMenu() : new QMenu);
        QAction *first = menu->actions().value(0);
        menu->insertAction(first, &entry);
        if (first)
            menu->insertSeparator(first);
        menu->exec(static_cast<QContextMenuEvent *>(event)->globalPos());
        return true;
    }

private:
    QAction &entry;
};

} // namespace

void addOpenPortsEntry(QWidget &window, std::function<void()> open)
{
    auto *entry = new QAction(QString::fromUtf8(openPortsText), &window);
    entry->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    entry->setShortcutContext(Qt::WindowShortcut);
    entry->setShortcutVisibleInContextMenu(true);
    window.addAction(entry);
    // Queued: the menu, or the key press, is over before the dialog's own loop begins.
    QObject::connect(entry, &QAction::triggered, &window, std::move(open), Qt::QueuedConnection);
    new ContextMenus(window, *entry); // owned by the window
}
