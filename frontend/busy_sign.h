#ifndef VARNETH_BUSY_SIGN_H
#define VARNETH_BUSY_SIGN_H

#include <QObject>
#include <QString>

class QLabel;

// What the window shows while it waits for the module, which blocks its thread: the
// status text and the wait cursor, both on the screen before the wait begins. Clicks and
// keys that come meanwhile are dropped when it ends, before anything can take them: not
// even the outcome box, whose making may hand queued input to the window.
class BusySign : public QObject
{
public:
    BusySign(QLabel &status, const QString &text);
    ~BusySign() override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
};

#endif
