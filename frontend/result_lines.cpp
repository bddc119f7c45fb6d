#include "result_lines.h"

#include <QIODevice>
#include <QTextStream>

QStringList readResultLines(QIODevice &file)
{
    QTextStream stream(&file);
    QStringList lines;
    while (!stream.atEnd())
        lines.append(stream.readLine());
    return lines;
}
