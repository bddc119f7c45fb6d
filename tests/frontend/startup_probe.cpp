// Starts the window as the program does, but prints and closes every message box,
// so a test can watch start-ups that end before any window shows. With the argument
// "forward" it then presses Forward for TCP port 5555 and prints the status line, so
// a test can watch a press by a user of its choice.

#include "mainwindow.h"
#include "window_test_support.h"

#include <QApplication>
#include <QCheckBox>
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
        // One output line per box, though an outcome box's text holds a line feed.
        const QString text = QString(box.text).replace(QLatin1Char('\n'), QLatin1String("\\n"));
        std::printf("box\t%d\t%s\n", static_cast<int>(box.icon), qPrintable(text));
        std::fflush(stdout);
    };
    MainWindow window;
    std::printf("window\n");
    if (application.arguments().value(1) == QLatin1String("forward")) {
        formObject<QCheckBox>(window, "chkTCP")->setChecked(true);
        formObject<QLineEdit>(window, "editport")->setText(QStringLiteral("5555"));
        QTest::mouseClick(formObject<QPushButton>(window, "btnForward"), Qt::LeftButton);
        std::printf("status\t%s\n", qPrintable(formObject<QLabel>(window, "lblStatus")->text()));
    }
    return 0;
}
