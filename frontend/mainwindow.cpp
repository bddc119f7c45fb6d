#include "mainwindow.h"

#include "enter_presses.h"
#include "form_fonts.h"
#include "message_box.h"
#include "module_bridge.h"
#include "open_ports_entry.h"
#include "platform.h"
#include "ui_mainwindow.h"

#include <cstdlib>

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent), ui(std::make_unique<Ui::MainWindow>())
{
    ui->setupUi(this);
    fitFormFonts(*this, *ui->lblStatus);
    pressOnEnter(*ui->editip, *ui->btnForward);
    pressOnEnter(*ui->editport, *ui->btnForward);
    addOpenPortsEntry(*this, [this] { showOpenPorts(); });
    ui->lblStatus->setText(QStringLiteral("Initializing, please wait."));
    moduleProgram = moduleProgramName();
    // Every exchange happens in the exchange directory, never among the files of the
    // directory the user started us from, nor where others could plant or read them.
    if (!makeExchangeDirectoryCurrent()) {
        showFatalError(QString::fromLatin1(sendFailureText), noExchangeDirectoryText());
        std::exit(1);
    }
    requestAddresses();
    // The port is what one types first; Enter there then forwards it.
    ui->editport->setFocus();
}

MainWindow::~MainWindow()
{
    // The form object goes before the other members; its widgets belong to the window.
    ui.reset();
}

QStringList MainWindow::exchange(QProcess &module, const QStringList &commandLines, OddCharacters odd,
                                 const ModuleOutput *output)
{
    const ExchangeResult result = exchangeWithModule(module, moduleProgram, commandLines, odd, output);
    if (result.failure)
        showFatalError(result.failure->text, result.failure->why);
    return result.lines;
}

void MainWindow::on_lineEdit_2_textEdited(const QString &)
{
}

void MainWindow::on_lblStatus_linkActivated(const QString &)
{
}
