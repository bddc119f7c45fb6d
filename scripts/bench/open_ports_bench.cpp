// How long the window takes, beside the stand-in module, from Ctrl+O to the open ports
// dialog painted with its list of 0 and of 20 ports, median of 20 each.

#include "window_test_support.h"

#include <QElapsedTimer>
#include <QTableWidget>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

constexpr int runs = 20;

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return (values[(values.size() - 1) / 2] + values[values.size() / 2]) / 2;
}

// Notes the time of the first paint of a widget whose window is named `window` once
// `ready` says it shows what it should.
class FirstPaint : public QObject
{
public:
    FirstPaint(const char *window, std::function<bool(QWidget &)> ready) : window(window), ready(std::move(ready))
    {
        qApp->installEventFilter(this);
    }
    double milliseconds = -1;
    QElapsedTimer clock;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        auto *widget = qobject_cast<QWidget *>(watched);
        if (event->type() == QEvent::Paint && milliseconds < 0 && widget &&
            widget->window()->objectName() == QLatin1String(window) && ready(*widget->window()))
            milliseconds = clock.nsecsElapsed() / 1e6;
        return false;
    }

private:
    const char *window;
    std::function<bool(QWidget &)> ready;
};

double openPorts(MainWindow &window, StandIn &standIn, int count)
{
    QByteArray list(""); // empty, not null: an answer with no line
    for (int port = 9000; port < 9000 + count; ++port)
        list += "TCP\t" + QByteArray::number(port) + "\t10.0.0.5\t" + QByteArray::number(port) +
                "\tIPv4\tUPnP\t3600\tyes\tyes\tyes\tHLMX\n";
    standIn.answer("list", list);
    FirstPaint painted("openPortsDialog", [count](QWidget &dialog) {
        const auto *table = child<QTableWidget>(dialog, "portTable");
        return count ? table->isVisible() && table->rowCount() == count
                     : child<QLabel>(dialog, "portsSentence")->text().startsWith(QLatin1String("This machine"));
    });
    Person driver;
    // The shortcut works in the active window only; the dialog closed just now was.
    QApplication::setActiveWindow(&window);
    painted.clock.start();
    QTest::keyClick(&window, Qt::Key_O, Qt::ControlModifier);
    while (!driver.opened)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
    return painted.milliseconds;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    StandIn standIn(QCoreApplication::applicationDirPath());
    standIn.answer("", "10.0.0.5\n");
    MainWindow window;
    window.show();
    QApplication::setActiveWindow(&window);
    if (!QTest::qWaitForWindowActive(&window))
        return 1;
    for (const int count : {0, 20}) {
        std::vector<double> times;
        for (int run = 0; run < runs; ++run)
            times.push_back(openPorts(window, standIn, count));
        std::printf("Ctrl+O to the dialog painted with %d ports: %.1f ms median of %d\n", count, median(times), runs);
    }
    return 0;
}
