#ifndef VARNETH_PLATFORM_H
#define VARNETH_PLATFORM_H

#include <QFile>
#include <QString>

// File name of the module program, installed beside this program.
QString moduleProgramName();

// Makes the directory where the window and the module exchange their files current:
// the program's own directory when this user may write there (the build tree,
// Windows), else a directory of the user's own (an installed copy on Linux).
void makeExchangeDirectoryCurrent();

// Opens an exchange file by its name, only as a regular file: where the system has
// links, FIFOs and devices, such a file is refused at once, never followed or waited on.
// Opening for writing creates the file or empties it.
bool openExchangeFile(QFile &file, QIODevice::OpenMode mode);

#endif
