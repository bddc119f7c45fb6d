#include "busy_sign.h"

#include <QApplication>
#include <QLabel>

BusySign::BusySign(QLabel &status, const QString &text)
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
    status.setText(text);
    status.repaint();
    // Hands the new cursor and picture to the display; no click or key is taken here.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

BusySign::~BusySign()
{
    QApplication::restoreOverrideCursor();
}
