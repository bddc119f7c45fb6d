#ifndef VARNETH_CLOSE_COMMAND_H
#define VARNETH_CLOSE_COMMAND_H

#include "open_port.h"

#include <QList>
#include <QStringList>

// The module's "close" command for all of `ports` in one run: "close", then one group
// of four lines per address and external port (address, port, TCP flag, UDP flag), in
// the order the ports come; TCP and UDP of the same port share a group.
QStringList closeCommand(const QList<OpenPort> &ports);

#endif
