#include "enter_presses.h"

#include <QAbstractButton>
#include <QKeyEvent>
#include <QLineEdit>

namespace {

class EnterPresses : public QObject
{
public:
    EnterPresses(QLineEdit &field, QAbstractButton &button) : QObject(&field), button(button)
    {
        field.installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() != QEvent::KeyPress)
            return false;
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key != Qt::Key_Return && key != Qt::Key_Enter)
            return false;
        button.click();
        return true;
    }

private:
    QAbstractButton &button;
};

} // namespace

void pressOnEnter(QLineEdit &field, QAbstractButton &button)
{
    new EnterPresses(field, button); // owned by the field
}
