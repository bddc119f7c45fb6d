#ifndef VARNETH_OPEN_PORT_H
#define VARNETH_OPEN_PORT_H

#include <QString>

// One mapping this machine holds on the gateway, as the module's "list" names it.
struct OpenPort {
    QString protocol; // "TCP" or "UDP"
    int externalPort = 0;
    QString address; // the internal address the gateway sends the port to
    int internalPort = 0;
    QString family;         // "IPv4" or "IPv6"
    QString how;            // "UPnP", "PCP", "NAT-PMP", "system" (Windows' own UPnP object), or "firewall":
                            // not on the router, only let in through this machine's firewall
    qint64 secondsLeft = 0; // 0: the gateway set no end
    bool keptOpen = false;  // renewed by the tool
    bool madeHere = false;  // made by the tool, not by another program
    bool firewallEntry = false;
    QString description;
};

#endif
