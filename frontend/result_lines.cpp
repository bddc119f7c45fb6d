#include "result_lines.h"

#include <QIODevice>
#include <QTextStream>

QStringList readResultLines(QIODevice &device)
{
    QTextStream stream(&device);
    QStringList lines;
    while (!stream.atEnd())
        lines.append(stream.readLine());
    return lines;
}
