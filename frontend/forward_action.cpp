#include "mainwindow.h"

#include "busy_sign.h"
#include "message_box.h"
#include "module_output.h"
#include "open_ports_entry.h"
#include "outcome_text.h"
#include "protocol_flag.h"
#include "ui_mainwindow.h"

#include <QProcess>
#include <QPushButton>

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
        forwardPorts();
        return;
    }
    box.exec();
}

void MainWindow::forwardPorts()
{
    OutcomeChoice choice = forwardOnce(false);
    if (choice == OutcomeChoice::OverIpv6)
        choice = forwardOnce(true);
    // Opened once the forward's module process is gone.
    if (choice == OutcomeChoice::OpenPorts)
        showOpenPorts();
}

MainWindow::OutcomeChoice MainWindow::forwardOnce(bool overIpv6)
{
    MessageBox box(QMessageBox::Critical, QStringLiteral("Generic info box. You should not be seeing this."));
    QStringList command{QStringLiteral("kavro"), ip, QString::number(port), protocolFlag(tcp), protocolFlag(udp)};
    if (overIpv6)
        command.append(protocolFlag(true));
    // Lives until the outcome box is closed; a module still running then is ended.
    QProcess module;
    ModuleOutput output(module);
    QStringList answer;
    {
        const BusySign busy(*ui->lblStatus, QStringLiteral("Forwarding ports..."), output);
        answer = exchange(module, command, OddCharacters::RefuseAnswer, &output);
    }
    const ForwardOutcome outcome = forwardOutcome(answer, output, overIpv6);
    box.setText(outcome.text);
    box.setIcon(outcome.succeeded      ? QMessageBox::Information
                : outcome.firewallOnly ? QMessageBox::Warning
                                       : QMessageBox::Critical);
    ui->lblStatus->setText(outcome.succeeded ? QStringLiteral("Ready") : QStringLiteral("Ready (error ocurred)"));
    box.setInformativeText(outcome.informative);
    box.setDetailedText(output.details());
    QPushButton *ok = box.addButton(QMessageBox::Ok);
    const QPushButton *openPorts = box.addButton(QString::fromUtf8(openPortsText), QMessageBox::ActionRole);
    const QPushButton *ipv6 =
        outcome.ipv6Offer.isEmpty() ? nullptr : box.addButton(outcome.ipv6Offer, QMessageBox::ActionRole);
    box.setDefaultButton(ok);
    box.setEscapeButton(ok);
    box.exec();
    if (ipv6 && box.clickedButton() == ipv6)
        return OutcomeChoice::OverIpv6;
    return box.clickedButton() == openPorts ? OutcomeChoice::OpenPorts : OutcomeChoice::Done;
}
