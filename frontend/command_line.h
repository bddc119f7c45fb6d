#ifndef VARNETH_COMMAND_LINE_H
#define VARNETH_COMMAND_LINE_H

#include <QStringList>

// The tool for a terminal, beside the window: "varneth forward 192.168.1.20 8080" and
// the rest. It meets the module through the window's own bridge, in a new private folder
// of its own per run, and says what the window's box would say: sentences on standard
// error, lists on standard output. Needs a QCoreApplication, and no display.
// `arguments`: the program's, its name first. Gives the exit status: 0 when it worked,
// 1 when not, 2 for arguments that are no command.
int runCommandLine(const QStringList &arguments);

#endif
