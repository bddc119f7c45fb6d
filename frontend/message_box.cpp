#include "message_box.h"

#include <QApplication>
#include <QFontMetrics>
#include <QLabel>

const char *const applicationDisplayName = "Brask's Port Forwarding Tool";

namespace {

// About twelve words of an ordinary sentence.
constexpr int informativeLineCharacters = 60;
// Room for the title and the buttons of a window manager's title bar, which a box sized
// to a few words of text cuts to "Brask's P...g Tool".
constexpr int textLineCharacters = 45;
// Past this a first line wraps rather than widening the box further.
constexpr int widestTextLineCharacters = 90;

void setMinimumCharacters(QLabel *label, int characters)
{
    if (label)
        label->setMinimumWidth(QFontMetrics(label->font()).averageCharWidth() * characters);
}

} // namespace

MessageBox::MessageBox(Icon icon, const QString &text) : QMessageBox(icon, QString::fromUtf8(applicationDisplayName), text)
{
    setTextFormat(Qt::PlainText);
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

void MessageBox::showEvent(QShowEvent *event)
{
    // Set once the text is final: a minimum below the text's own width would cut the
    // text off, as the box's layout takes the minimum over the label's own size.
    if (auto *label = findChild<QLabel *>(QStringLiteral("qt_msgbox_label"))) {
        const QFontMetrics metrics(label->font());
        int widest = 0;
        for (const QString &line : label->text().split(QLatin1Char('\n')))
            widest = qMax(widest, metrics.horizontalAdvance(line));
        label->setMinimumWidth(qBound(metrics.averageCharWidth() * textLineCharacters, widest,
                                      metrics.averageCharWidth() * widestTextLineCharacters));
    }
    QMessageBox::showEvent(event);
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
