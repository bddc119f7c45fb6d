#include "mainwindow.h"

#include "message_box.h"
#include "module_bridge.h"
#include "ui_mainwindow.h"

#include <QDebug>
#include <QProcess>

#include <algorithm>
#include <cstdlib>

void MainWindow::requestAddresses()
{
    ui->lblStatus->setText(QStringLiteral("Initializing, please wait."));
    ui->lblStatus->setText(QStringLiteral("Getting list of internal IP addresses..."));
    ExchangeResult answer;
    {
        // Ended here at the latest, so a module that outlasts the wait never outlives the start-up.
        QProcess module;
        answer = exchangeWithModule(module, moduleProgram, {QStringLiteral("getips")});
    }
    addresses.assign(answer.lines.cbegin(), answer.lines.cend());
    if (!addresses.empty() && addresses.front() == QLatin1String("ERROR")) {
        // One box says why the program ends: the exchange's own, or the module's failed list.
        if (answer.failure)
            showFatalError(answer.failure->text, answer.failure->why);
        else
            showFatalError(QStringLiteral("Could not list this computer's network addresses."),
                           QStringLiteral("The port forwarding module could not make or read its list of "
                                          "this computer's addresses, so the program cannot start. Check that "
                                          "your temporary folder exists, can be written to and has free space, "
                                          "then start the program again."));
        std::exit(1);
    }

    firstIndex = 0;
    lastIndex = static_cast<int>(addresses.size()) - 1;
    if (!addresses.empty())
        on_spinBox_valueChanged(0);
    ui->lblStatus->setText(QStringLiteral("Ready"));
    qDebug() << "got " << addresses.size();
}

void MainWindow::on_spinBox_valueChanged(int arg1)
{
    if (addresses.empty())
        return;
    const int index = std::clamp(arg1, firstIndex, lastIndex);
    // Past the last address the spin box is pulled back, which runs this slot once more, nested.
    ui->spinBox->setValue(index);
    ui->editip->setText(addresses[static_cast<std::size_t>(index)]);
}
