#ifndef VARNETH_OPEN_PORTS_DIALOG_H
#define VARNETH_OPEN_PORTS_DIALOG_H

#include "open_port.h"
#include "result_lines.h"

#include <QDialog>
#include <QList>
#include <QStringList>

#include <functional>

class QLabel;
class QProcess;
class ModuleOutput;
class QPushButton;
class QTableWidget;
struct PortList;

// The window's module bridge: one exchange, the module run in the given process, its
// answer's odd characters taken as `odd` says.
using ModuleExchange = std::function<QStringList(QProcess &module, QStringList commandLines, OddCharacters odd,
                                                 const ModuleOutput *output)>;

// "Open ports": what this machine holds open on the gateway, from the module's "list",
// sorted by port; another program's mappings are shown but marked. The selected ports
// are closed with one "close" for all of them, then listed again. While the module
// runs, the window's status line says so and nothing takes input.
class OpenPortsDialog : public QDialog
{
public:
    OpenPortsDialog(QWidget &window, QLabel &status, ModuleExchange exchange);

    // Asks the module for the list again and shows it.
    void refresh();

private:
    struct Answer;
    Answer run(const QStringList &command, const QString &busyText, OddCharacters odd);
    bool list();
    void showList(const PortList &list);
    void closeSelected();
    bool confirmClose(const QList<OpenPort> &ports);
    QList<OpenPort> selectedPorts() const;

    QLabel &status;
    const ModuleExchange exchange;
    QList<OpenPort> ports; // in the table's order
    QTableWidget *table;
    QLabel *sentence;
    QLabel *unreadNote;
    QPushButton *closeButton;
};

#endif
