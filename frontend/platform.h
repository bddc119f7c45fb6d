#ifndef VARNETH_PLATFORM_H
#define VARNETH_PLATFORM_H

#include <QFile>
#include <QString>

// File name of the module program, installed beside this program.
QString moduleProgramName();

// Makes the directory where the window and the module exchange their files current:
// the program's own directory (Windows; on Linux only when it is this user's alone and
// not an installed copy's, as a build tree is), else a directory of the user's own.
// False when none can be had; the window must then not exchange at all.
bool makeExchangeDirectoryCurrent();

// What the user reads when no exchange directory can be had.
QString noExchangeDirectoryText();

// Opens an exchange file by its name, only as a regular file: where the system has
// links, FIFOs and devices, such a file is refused at once, never followed or waited on.
// Opening for writing creates the file or empties it.
bool openExchangeFile(QFile &file, QIODevice::OpenMode mode);

// Said before the command line changes the record of forwards as root: whose record
// and renewal timer that is (root's, not the user's who ran sudo). Empty otherwise.
QString whoseRecordText();

#endif
