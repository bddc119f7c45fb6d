#ifndef VARNETH_RESULT_LINES_H
#define VARNETH_RESULT_LINES_H

#include <QStringList>

class QIODevice;

// The lines of an open result file, in order, line ends removed; apart from the
// file itself so it can be checked on any bytes.
QStringList readResultLines(QIODevice &device);

#endif
