#ifndef VARNETH_BUSY_SIGN_H
#define VARNETH_BUSY_SIGN_H

#include <QRect>
#include <QString>

class QLabel;
class ModuleOutput;

extern const char *const passwordWaitText;

// What the window shows while it waits for the module, which takes no input meanwhile:
// the status text and the wait cursor, both on the screen before the wait begins, and
// passwordWaitText once the module in `output` says a person is asked for a password.
// Clicks and keys that come meanwhile are dropped when it ends, before anything can take
// them: not even the outcome box, whose making may hand queued input to the window.
class BusySign
{
public:
    BusySign(QLabel &status, const QString &text, ModuleOutput &output);
    ~BusySign();
    BusySign(const BusySign &) = delete;
    BusySign &operator=(const BusySign &) = delete;

private:
    QLabel &status;
    ModuleOutput &output;
    const QString text;
    const QRect place; // the status line's, given back at the end with `text`
};

#endif
