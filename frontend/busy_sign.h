#ifndef VARNETH_BUSY_SIGN_H
#define VARNETH_BUSY_SIGN_H

#include <QString>

class QLabel;

// What the window shows while it waits for the module, which blocks its thread: the
// status text and the wait cursor, both on the screen before the wait begins. Input
// that comes meanwhile waits in the queue until the outcome box is up, which blocks it.
class BusySign
{
public:
    BusySign(QLabel &status, const QString &text);
    ~BusySign();
    BusySign(const BusySign &) = delete;
    BusySign &operator=(const BusySign &) = delete;
};

#endif
