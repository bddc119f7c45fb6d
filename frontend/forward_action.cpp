#include "mainwindow.h"

#include "module_output.h"
#include "ui_mainwindow.h"

#include <QMessageBox>
#include <QProcess>

namespace {

QString flag(bool set)
{
    return set ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
}

} // namespace

void MainWindow::on_btnForward_clicked()
{
    QMessageBox box(QMessageBox::Critical, QString(),
                    QStringLiteral("Generic error. You should not be seeing this."));
    tcp = ui->chkTCP->isChecked();
    udp = ui->ChkUDP->isChecked();
    ip = ui->editip->text();
    port = ui->editport->text().toInt(nullptr, 10);

    if (!tcp && !udp)
        box.setText(QStringLiteral("Trying to forward no protocol, please check that UDP and/or TCP are checked."));
    else if (ip.length() < 4)
        box.setText(QStringLiteral("Invalid IP. Please check and use the scroll box next to the IP edit to select one."));
    else if (port < 1)
        box.setText(QStringLiteral("Cannot forward port 0, please check the port edit and try again."));
    else {
        forwardPorts();
        return;
    }
    box.exec();
}

void MainWindow::forwardPorts()
{
    QMessageBox box(QMessageBox::Critical, QString(),
                    QStringLiteral("Generic info box. You should not be seeing this."));
    // The module's words are shown as they are, never as rich text.
    box.setTextFormat(Qt::PlainText);
    ui->lblStatus->setText(QStringLiteral("Forwarding ports..."));
    const QStringList command{QStringLiteral("kavro"), ip, QString::number(port), flag(tcp), flag(udp)};
    // Lives until the outcome box is closed; a module still running then is ended.
    QProcess module;
    const ModuleOutput output(module);
    const QStringList answer = exchange(module, command);
    // An empty result counts as an error with no text.
    const QString firstLine = answer.isEmpty() ? QString() : answer.first();

    if (firstLine == QLatin1String("0")) {
        box.setText(QStringLiteral("Port forward success!"));
        box.setIcon(QMessageBox::Information);
        box.setInformativeText(output.reachableAt());
        ui->lblStatus->setText(QStringLiteral("Ready"));
    } else {
        box.setText(QStringLiteral("Port forward error: \n") + firstLine);
        box.setIcon(QMessageBox::Critical);
        ui->lblStatus->setText(QStringLiteral("Ready (error ocurred)"));
    }
    box.setDetailedText(output.details());
    box.exec();
}
