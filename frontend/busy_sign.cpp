#include "busy_sign.h"

#include "input_held.h"
#include "module_output.h"

#include <QApplication>
#include <QLabel>

#include <algorithm>

const char *const passwordWaitText = "Waiting for the administrator's password...";

namespace {

// The form shows only the status line's first 127 pixels, too few for this text: for the
// wait, the line reaches left as far as the text needs, its right edge where the window's is.
void showWhole(QLabel &status, const QString &text)
{
    status.setText(text);
    const int right = std::min(status.geometry().right(), status.parentWidget()->width() - 1);
    const int needed = status.fontMetrics().horizontalAdvance(text) + 2 * status.margin() + 4;
    const int left = std::min(status.x(), std::max(0, right + 1 - needed));
    status.setGeometry(left, status.y(), status.geometry().right() + 1 - left, status.height());
}

} // namespace

BusySign::BusySign(QLabel &status, const QString &text, ModuleOutput &output)
    : status(status), output(output), text(text), place(status.geometry())
{
    output.whenPasswordAsked([&status] { showWhole(status, QString::fromLatin1(passwordWaitText)); });
    QApplication::setOverrideCursor(Qt::WaitCursor);
    status.setText(text);
    // Paints the new text and hands it and the cursor to the display; no click or key is
    // taken here.
    processEventsWithoutInput();
}

BusySign::~BusySign()
{
    output.whenPasswordAsked({});
    if (status.geometry() != place) {
        status.setGeometry(place);
        status.setText(text);
    }
    processEventsWithoutInput();
    QApplication::restoreOverrideCursor();
}
