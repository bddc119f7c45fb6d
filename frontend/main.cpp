#include "mainwindow.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    MainWindow window;
    // Read relative to the program directory, which the window has made current.
    window.setWindowIcon(QIcon(QStringLiteral("vr.ico")));
    window.show();
    return application.exec();
}
