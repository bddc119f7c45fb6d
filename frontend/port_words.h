#ifndef VARNETH_PORT_WORDS_H
#define VARNETH_PORT_WORDS_H

#include "open_port.h"

#include <QString>
#include <QStringList>

// How the open ports table and its confirmations name a port and what is known of it.

// Where the gateway sends the port: "10.0.0.5", or "10.0.0.5:80" when the internal port
// differs ("fd00::5 port 80" for IPv6).
QString destinationText(const OpenPort &port);

// "TCP 8080 to 10.0.0.5"
QString portSubject(const OpenPort &port);

// "kept open" when the tool renews it, else the time the gateway still holds it:
// "no end", "3 days 4 h", "1 h 59 min", "12 min", "40 s".
QString timeLeftText(const OpenPort &port);

// "UPnP", "PCP" or "NAT-PMP"; Windows' own object speaks UPnP.
QString howText(const OpenPort &port);

// "this tool", or "another program" with the name that program gave the mapping.
QString madeByText(const OpenPort &port);

// A port as a row of the open ports table, under these headers: protocol, port, where to,
// how, time left, whether the firewall has an entry of ours, made by.
QStringList portColumnHeaders();
QStringList portColumns(const OpenPort &port);

// "1 port", "2 ports"
QString countOf(qint64 number, const char *one, const char *many);

#endif
