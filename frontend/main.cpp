#include "command_line.h"
#include "command_arguments.h"
#include "mainwindow.h"
#include "message_box.h"

#include <QApplication>
#include <QCoreApplication>
#include <QIcon>

int main(int argc, char *argv[])
{
    // A command word first: the command line, which needs no display and makes no window.
    // On Windows that is varneth.com's job: this program has no console to speak on.
#ifndef _WIN32
    if (argc > 1 && startsCommandLine(argv[1])) {
        const QCoreApplication application(argc, argv);
        return runCommandLine(QCoreApplication::arguments());
    }
#endif
    // The fixed form grows as a whole on a high-DPI screen, by the screen's own factor
    // (150 % stays 150 %), instead of its texts growing inside the same pixels.
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QGuiApplication::setHighDpiScaleFactorRoundingPolicy(Qt::HighDpiScaleFactorRoundingPolicy::PassThrough);
    QApplication application(argc, argv);
    QGuiApplication::setApplicationDisplayName(QString::fromUtf8(applicationDisplayName));
    // Lets the desktop match the window to its menu entry.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.varneth.Varneth"));
    MainWindow window;
    // Installed beside the program, which need not be the current directory.
    window.setWindowIcon(QIcon(QCoreApplication::applicationDirPath() + QStringLiteral("/vr.ico")));
    window.show();
    return application.exec();
}
