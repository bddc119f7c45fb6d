#ifndef VARNETH_PLATFORM_H
#define VARNETH_PLATFORM_H

#include <QFile>
#include <QString>

// File name of the module program, installed beside this program.
QString moduleProgramName();

// Makes the directory of this program's own file the process's current directory.
void makeProgramDirectoryCurrent();

// Opens an exchange file by its name, only as a regular file: where the system has
// links, FIFOs and devices, such a file is refused at once, never followed or waited on.
// Opening for writing creates the file or empties it.
bool openExchangeFile(QFile &file, QIODevice::OpenMode mode);

#endif
