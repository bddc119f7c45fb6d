#include "mainwindow.h"

#include <QApplication>
#include <QCoreApplication>
#include <QIcon>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    // Lets the desktop match the window to its menu entry.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.varneth.Varneth"));
    MainWindow window;
    // Installed beside the program, which need not be the current directory.
    window.setWindowIcon(QIcon(QCoreApplication::applicationDirPath() + QStringLiteral("/vr.ico")));
    window.show();
    return application.exec();
}
