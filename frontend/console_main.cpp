// varneth.com: the command line on Windows, a console program beside the window, since
// cmd and PowerShell wait only for one of those. Without a command word it starts the
// window, so "varneth" opens it as before.
#include "command_arguments.h"
#include "command_line.h"

#include <QCoreApplication>
#include <QProcess>

#include <cstdio>

int main(int argc, char *argv[])
{
    const QCoreApplication application(argc, argv);
    if (argc > 1 && startsCommandLine(argv[1]))
        return runCommandLine(QCoreApplication::arguments());
    const QString window = QCoreApplication::applicationDirPath() + QStringLiteral("/Varneth.exe");
    if (QProcess::startDetached(window, QCoreApplication::arguments().mid(1)))
        return 0;
    std::fputs("varneth: the window Varneth.exe beside this program could not be started. Install the tool again.\n",
               stderr);
    return 1;
}
