#include "busy_sign.h"

#include "input_held.h"
#include "module_output.h"

#include <QApplication>
#include <QLabel>

const char *const passwordWaitText = "Waiting for the administrator's password...";

BusySign::BusySign(QLabel &status, const QString &text, ModuleOutput &output) : output(output)
{
    output.whenPasswordAsked([&status] { status.setText(QString::fromLatin1(passwordWaitText)); });
    QApplication::setOverrideCursor(Qt::WaitCursor);
    status.setText(text);
    // Paints the new text and hands it and the cursor to the display; no click or key is
    // taken here.
    processEventsWithoutInput();
}

BusySign::~BusySign()
{
    output.whenPasswordAsked({});
    processEventsWithoutInput();
    QApplication::restoreOverrideCursor();
}
