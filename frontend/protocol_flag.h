#ifndef VARNETH_PROTOCOL_FLAG_H
#define VARNETH_PROTOCOL_FLAG_H

#include <QString>

// A protocol's line in a command: the module takes "TRUE" exactly as set.
inline QString protocolFlag(bool set)
{
    return set ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
}

#endif
