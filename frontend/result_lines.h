#ifndef VARNETH_RESULT_LINES_H
#define VARNETH_RESULT_LINES_H

#include <QStringList>

class QIODevice;

// The lines of an open result file, in order, line ends removed. An empty file
// gives no line, and a final line end gives no extra empty line.
QStringList readResultLines(QIODevice &file);

#endif
