#ifndef VARNETH_MAINWINDOW_H
#define VARNETH_MAINWINDOW_H

#include "result_lines.h"

#include <QMainWindow>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

class ModuleOutput;
class QProcess;

namespace Ui {
class MainWindow;
}

// The only window. It owns all front-end state and talks to the module
// program through the command and result files.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

private slots:
    // Kept for their fixed places in the slot table; nothing in the form uses them.
    void on_lineEdit_2_textEdited(const QString &arg1);
    void on_lblStatus_linkActivated(const QString &link);

    void on_spinBox_valueChanged(int arg1);
    void on_btnForward_clicked();

private:
    // Address list and selector.
    void requestAddresses();

    // Forward action: the forward, once more over IPv6 when its box offers that and the
    // user takes the offer, and the open ports when the user asks for them from its box.
    void forwardPorts();
    // What the user chose in a forward's outcome box.
    enum class OutcomeChoice { Done, OverIpv6, OpenPorts };
    // One forward, IPv6 pinholes too when `overIpv6`.
    OutcomeChoice forwardOnce(bool overIpv6);

    // The open ports dialog, over the window.
    void showOpenPorts();

    // One exchange with the module through the bridge; its failure shown in a box, and
    // answered "ERROR".
    QStringList exchange(QProcess &module, const QStringList &commandLines,
                         OddCharacters odd = OddCharacters::RefuseAnswer, const ModuleOutput *output = nullptr);

    int firstIndex = 0;
    int lastIndex = -1;
    std::unique_ptr<Ui::MainWindow> ui;
    int port = 0;
    QString ip;
    bool tcp = false;
    bool udp = false;
    QString moduleProgram;
    std::vector<QString> addresses;
};

#endif
