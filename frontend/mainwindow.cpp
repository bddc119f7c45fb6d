#include "mainwindow.h"

#include "platform.h"
#include "ui_mainwindow.h"

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent), ui(std::make_unique<Ui::MainWindow>())
{
    ui->setupUi(this);
    ui->lblStatus->setText(QStringLiteral("Initializing, please wait."));
    moduleProgram = moduleProgramName();
    // Every exchange happens in the exchange directory, never among the files of the
    // directory the user started us from.
    makeExchangeDirectoryCurrent();
    requestAddresses();
}

MainWindow::~MainWindow()
{
    // The form object goes before the other members; its widgets belong to the window.
    ui.reset();
}

void MainWindow::on_lineEdit_2_textEdited(const QString &)
{
}

void MainWindow::on_lblStatus_linkActivated(const QString &)
{
}
