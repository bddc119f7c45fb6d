#include "mainwindow.h"
#include "message_box.h"

#include <QApplication>
#include <QCoreApplication>
#include <QIcon>

int main(int argc, char *argv[])
{
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
