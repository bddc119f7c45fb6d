#ifndef VARNETH_PORT_LIST_H
#define VARNETH_PORT_LIST_H

#include "open_port.h"

#include <QList>
#include <QStringList>

#include <optional>

// The module's answer to "list": one tab-separated line per mapping, none when nothing
// is open, or a single line without a tab that says why the list could not be had.
struct PortList {
    QList<OpenPort> ports;          // sorted by external port, then protocol and address
    QStringList unread;             // lines that are no mapping, left out
    std::optional<QString> failure; // the module's reason why it could not list
};

PortList readPortList(const QStringList &answer);

#endif
