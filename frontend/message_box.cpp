#include "message_box.h"

#include <QApplication>
#include <QFontMetrics>
#include <QLabel>

const char *const applicationDisplayName = "Brask's Port Forwarding Tool";
const char *const sendFailureText = "FATAL ERROR: Could not send command to internal port forwarding module.";
const char *const readFailureText = "FATAL ERROR: Could not read internal port forwarding module.";

namespace {

// About twelve words of an ordinary sentence.
constexpr int informativeLineCharacters = 60;
// Room for the title and the buttons of a window manager's title bar, which a box sized
// to a few words of text cuts to "Brask's P...g Tool".
constexpr int textLineCharacters = 45;

void setMinimumCharacters(QLabel *label, int characters)
{
    if (label)
        label->setMinimumWidth(QFontMetrics(label->font()).averageCharWidth() * characters);
}

} // namespace

MessageBox::MessageBox(Icon icon, const QString &text) : QMessageBox(icon, QString::fromUtf8(applicationDisplayName), text)
{
    setTextFormat(Qt::PlainText);
    setMinimumCharacters(findChild<QLabel *>(QStringLiteral("qt_msgbox_label")), textLineCharacters);
}

void MessageBox::setInformativeText(const QString &text)
{
    QMessageBox::setInformativeText(text);
    // The box sizes itself to its main text, a few words, and wraps the rest to that.
    auto *label = findChild<QLabel *>(QStringLiteral("qt_msgbox_informativelabel"));
    if (label)
        label->setTextFormat(Qt::PlainText);
    setMinimumCharacters(label, informativeLineCharacters);
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
