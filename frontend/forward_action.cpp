#include "mainwindow.h"

#include "busy_sign.h"
#include "message_box.h"
#include "module_output.h"
#include "open_ports_entry.h"
#include "protocol_flag.h"
#include "ui_mainwindow.h"

#include <QProcess>
#include <QPushButton>

namespace {

// The module's headline when this machine has a global IPv6 address on the chosen
// address's network; only then is opening the port over IPv6 offered.
const QString ipv6Offered = QStringLiteral("This machine can also be reached over IPv6");

// The failures of the IPv4 forward that IPv6 gets around: no public IPv4 address (as
// behind DS-Lite), or no IPv4 gateway at all.
bool ipv6GetsAround(const ModuleOutput &output)
{
    return output.saidHeadline(QStringLiteral("This network is behind carrier-grade NAT")) ||
           output.saidHeadline(QStringLiteral("The router has no Internet address")) ||
           output.saidHeadline(QStringLiteral("No router on this network answered")) ||
           output.saidHeadline(QStringLiteral("This machine has no default gateway"));
}

} // namespace

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
    const bool offerIpv6 = !overIpv6 && output.saidHeadline(ipv6Offered) && (succeeded || ipv6GetsAround(output));
    // The offer's sentence goes with its button.
    box.setInformativeText(output.informativeText(succeeded, offerIpv6 ? QString() : ipv6Offered));
    box.setDetailedText(output.details());
    QPushButton *ok = box.addButton(QMessageBox::Ok);
    const QPushButton *openPorts = box.addButton(QString::fromUtf8(openPortsText), QMessageBox::ActionRole);
    const QPushButton *ipv6 = nullptr;
    if (offerIpv6)
        ipv6 = box.addButton(succeeded ? QStringLiteral("Also open over IPv6") : QStringLiteral("Open over IPv6 instead"),
                             QMessageBox::ActionRole);
    box.setDefaultButton(ok);
    box.setEscapeButton(ok);
    box.exec();
    if (ipv6 && box.clickedButton() == ipv6)
        return OutcomeChoice::OverIpv6;
    return box.clickedButton() == openPorts ? OutcomeChoice::OpenPorts : OutcomeChoice::Done;
}
