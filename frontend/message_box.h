#ifndef VARNETH_MESSAGE_BOX_H
#define VARNETH_MESSAGE_BOX_H

#include <QMessageBox>
#include <QString>

// The name every window of the program carries in its title bar.
extern const char *const applicationDisplayName;

// A modal box of the window: titled with the program's name, its texts shown as plain
// text, never as markup, and wide enough that a sentence of the informative text keeps
// several words to a line.
class MessageBox : public QMessageBox
{
public:
    MessageBox(Icon icon, const QString &text);

    void setInformativeText(const QString &text);

protected:
    void showEvent(QShowEvent *event) override;
};

// A box the user must close before anything goes on: the bridge's failures.
void showFatalError(const QString &text, const QString &informative = QString());

#endif
