#ifndef VARNETH_PLATFORM_H
#define VARNETH_PLATFORM_H

#include <QString>

// File name of the module program, installed beside this program.
QString moduleProgramName();

// Makes the directory of this program's own file the process's current directory.
void makeProgramDirectoryCurrent();

#endif
