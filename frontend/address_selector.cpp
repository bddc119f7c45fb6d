#include "mainwindow.h"

#include "ui_mainwindow.h"

#include <QDebug>
#include <QProcess>

#include <algorithm>
#include <cstdlib>

void MainWindow::requestAddresses()
{
    ui->lblStatus->setText(QStringLiteral("Initializing, please wait."));
    ui->lblStatus->setText(QStringLiteral("Getting list of internal IP addresses..."));
    QStringList answer;
    {
        // Ended here at the latest, so a module that outlasts the wait never outlives the start-up.
        QProcess module;
        answer = exchange(module, {QStringLiteral("getips")});
    }
    addresses.assign(answer.cbegin(), answer.cend());
    if (!addresses.empty() && addresses.front() == QLatin1String("ERROR"))
        std::exit(1);

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
