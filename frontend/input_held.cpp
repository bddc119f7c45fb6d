#include "input_held.h"

#include <QCoreApplication>
#include <QEvent>

namespace {

bool isInput(QEvent::Type type)
{
    switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::HoverEnter:
    case QEvent::HoverLeave:
    case QEvent::HoverMove:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::ContextMenu:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TouchCancel:
    case QEvent::TabletPress:
    case QEvent::TabletRelease:
    case QEvent::TabletMove:
    case QEvent::NativeGesture:
    // The window's close button too: the window stays until the module's answer is shown.
    case QEvent::Close:
        return true;
    default:
        return false;
    }
}

class InputDropped : public QObject
{
protected:
    bool eventFilter(QObject *, QEvent *event) override { return isInput(event->type()); }
};

} // namespace

void processEventsWithoutInput()
{
    InputDropped dropped;
    QCoreApplication::instance()->installEventFilter(&dropped);
    QCoreApplication::processEvents();
    QCoreApplication::instance()->removeEventFilter(&dropped);
}
