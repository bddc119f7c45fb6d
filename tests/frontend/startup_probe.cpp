// Starts the window as the program does, but prints and closes every message box,
// so a test can watch start-ups that end before any window shows.

#include "mainwindow.h"
#include "window_test_support.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    BoxCloser closer;
    closer.onShown = [](const ShownBox &box) {
        std::printf("box\t%d\t%s\n", static_cast<int>(box.icon), qPrintable(box.text));
        std::fflush(stdout);
    };
    MainWindow window;
    std::printf("window\n");
    return 0;
}
