// Starts the window as the program does, but prints and closes every message box,
// so a test can watch start-ups that end before any window shows. With the argument
// "forward" it then presses Forward for TCP port 5555 and prints the status line, so
// a test can watch a press by a user of its choice.

#include "mainwindow.h"
#include "window_test_support.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <cstdio>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    BoxCloser closer;
    closer.onShown = [](const ShownBox &box) {
        std::printf("%s\n", qPrintable(probeLine(box.text, box.icon)));
        std::fflush(stdout);
    };
    MainWindow window;
    std::printf("window\n");
    if (application.arguments().value(1) == QLatin1String("forward")) {
        fillForm(window, true, false, formObject<QLineEdit>(window, "editip")->text(), QStringLiteral("5555"));
        QTest::mouseClick(formObject<QPushButton>(window, "btnForward"), Qt::LeftButton);
        std::printf("status\t%s\n", qPrintable(formObject<QLabel>(window, "lblStatus")->text()));
    }
    return 0;
}
