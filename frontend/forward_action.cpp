#include "mainwindow.h"

#include "busy_sign.h"
#include "message_box.h"
#include "module_output.h"
#include "open_ports_entry.h"
#include "protocol_flag.h"
#include "ui_mainwindow.h"

#include <QProcess>

void MainWindow::on_btnForward_clicked()
{
    MessageBox box(QMessageBox::Critical, QStringLiteral("Generic error. You should not be seeing this."));
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
        if (forwardPorts())
            showOpenPorts();
        return;
    }
    box.exec();
}

bool MainWindow::forwardPorts()
{
    MessageBox box(QMessageBox::Critical, QStringLiteral("Generic info box. You should not be seeing this."));
    const QStringList command{QStringLiteral("kavro"), ip, QString::number(port), protocolFlag(tcp), protocolFlag(udp)};
    // Lives until the outcome box is closed; a module still running then is ended.
    QProcess module;
    const ModuleOutput output(module);
    QStringList answer;
    {
        const BusySign busy(*ui->lblStatus, QStringLiteral("Forwarding ports..."));
        answer = exchange(module, command);
    }
    // An empty result counts as an error with no text.
    const QString firstLine = answer.isEmpty() ? QString() : answer.first();
    const bool succeeded = firstLine == QLatin1String("0");

    if (succeeded) {
        box.setText(QStringLiteral("Port forward success!"));
        box.setIcon(QMessageBox::Information);
        ui->lblStatus->setText(QStringLiteral("Ready"));
    } else {
        box.setText(QStringLiteral("Port forward error: \n") + firstLine);
        box.setIcon(QMessageBox::Critical);
        ui->lblStatus->setText(QStringLiteral("Ready (error ocurred)"));
    }
    box.setInformativeText(output.informativeText(succeeded));
    box.setDetailedText(output.details());
    QPushButton *ok = box.addButton(QMessageBox::Ok);
    const QPushButton *openPorts = box.addButton(QString::fromUtf8(openPortsText), QMessageBox::ActionRole);
    box.setDefaultButton(ok);
    box.setEscapeButton(ok);
    box.exec();
    return box.clickedButton() == openPorts;
}
