#include "message_box.h"

#include <QApplication>
#include <QFontMetrics>
#include <QLabel>

const char *const applicationDisplayName = "Brask's Port Forwarding Tool";

namespace {

// About twelve words of an ordinary sentence.
constexpr int informativeLineCharacters = 60;

} // namespace

MessageBox::MessageBox(Icon icon, const QString &text) : QMessageBox(icon, QString::fromUtf8(applicationDisplayName), text)
{
    setTextFormat(Qt::PlainText);
}

void MessageBox::setInformativeText(const QString &text)
{
    QMessageBox::setInformativeText(text);
    // The box sizes itself to its main text, a few words, and wraps the rest to that.
    if (auto *label = findChild<QLabel *>(QStringLiteral("qt_msgbox_informativelabel"))) {
        label->setTextFormat(Qt::PlainText);
        label->setMinimumWidth(QFontMetrics(label->font()).averageCharWidth() * informativeLineCharacters);
    }
}

void showFatalError(const QString &text, const QString &informative)
{
    MessageBox box(QMessageBox::Critical, text);
    if (!informative.isEmpty())
        box.setInformativeText(informative);
    // Answered with the ordinary pointer, also while the window waits for the module.
    const bool waiting = QApplication::overrideCursor() != nullptr;
    if (waiting)
        QApplication::setOverrideCursor(Qt::ArrowCursor);
    box.exec();
    if (waiting)
        QApplication::restoreOverrideCursor();
}
