#ifndef VARNETH_EXCHANGE_DIRECTORY_H
#define VARNETH_EXCHANGE_DIRECTORY_H

#include <QString>

// Makes `parent`/varneth (mode 0700) unless it is there, and makes it current, but only
// as a directory of this user's own that nobody else may use, never through a link.
// False when that cannot be had; the current directory is then as it was.
bool enterUserExchangeDirectory(const QString &parent);

#endif
