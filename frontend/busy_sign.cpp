#include "busy_sign.h"

#include <QApplication>
#include <QInputEvent>
#include <QLabel>

BusySign::BusySign(QLabel &status, const QString &text)
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
    status.setText(text);
    // Paints the new text and hands it and the cursor to the display; no click or key is
    // taken here.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

BusySign::~BusySign()
{
    qApp->installEventFilter(this);
    QCoreApplication::processEvents();
    qApp->removeEventFilter(this);
    QApplication::restoreOverrideCursor();
}

bool BusySign::eventFilter(QObject *, QEvent *event)
{
    return dynamic_cast<QInputEvent *>(event) != nullptr;
}
