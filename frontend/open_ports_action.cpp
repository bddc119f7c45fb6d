#include "mainwindow.h"

#include "open_ports_dialog.h"
#include "ui_mainwindow.h"

void MainWindow::showOpenPorts()
{
    OpenPortsDialog dialog(*this, *ui->lblStatus,
                           [this](QProcess &module, QStringList commandLines, OddCharacters odd,
                                  const ModuleOutput *output) { return exchange(module, commandLines, odd, output); });
    // On the screen first, so it is there while the module lists; modal from the start.
    dialog.setModal(true);
    dialog.show();
    dialog.refresh();
    dialog.exec();
}
