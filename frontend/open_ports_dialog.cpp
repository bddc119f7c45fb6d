#include "open_ports_dialog.h"

#include "busy_sign.h"
#include "close_command.h"
#include "copy_rows.h"
#include "message_box.h"
#include "module_output.h"
#include "outcome_text.h"
#include "port_list.h"
#include "port_words.h"

#include <QBoxLayout>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QScrollBar>
#include <QTableWidget>
#include <QTextDocument>

#include <algorithm>
#include <set>

namespace {

const QString ready = QStringLiteral("Ready");
const QString readyAfterError = QStringLiteral("Ready (error ocurred)");
const QString notListed = QStringLiteral("The open ports could not be listed. Press Refresh to try again.");

// The table shows this many rows before it scrolls.
constexpr int rowsShown = 8;
// Room for a title bar's icon and buttons.
constexpr int titleBarButtons = 120;
// The widest the last column counts for the dialog's width; a longer name is cut there
// and shown whole as the cell's tip.
constexpr int madeByCharacters = 25;

const QStringList headers = portColumnHeaders();
const int madeByColumn = headers.size() - 1;

// Whole rows, read-only, several at a time, copied as text; Tab leaves it for the buttons and the arrows
// move inside it. Shown empty until there is a list, so it has the focus from the start.
void setUpTable(QTableWidget &table)
{
    table.setObjectName(QStringLiteral("portTable"));
    table.setAccessibleName(QStringLiteral("Open ports"));
    table.setAccessibleDescription(QStringLiteral("Ports this machine holds open on the router, sorted by port"));
    table.setHorizontalHeaderLabels(headers);
    table.verticalHeader()->hide();
    // The program's name takes what room is left, cut rather than scrolled sideways.
    table.horizontalHeader()->setSectionResizeMode(madeByColumn, QHeaderView::Stretch);
    table.setEditTriggers(QAbstractItemView::NoEditTriggers);
    table.setSelectionBehavior(QAbstractItemView::SelectRows);
    table.setSelectionMode(QAbstractItemView::ExtendedSelection);
    table.setWordWrap(false);
    table.setTabKeyNavigation(false);
    copyRowsOnCopyKey(table);
}

// Wide enough that a title bar shows the whole title, which the desktop gives as
// "Open ports — Brask's Port Forwarding Tool", beside its buttons.
int titleRoom(const QWidget &dialog)
{
    QFont bold = dialog.font();
    bold.setBold(true);
    const QString title = dialog.windowTitle() + QStringLiteral(" \u2014 ") + QGuiApplication::applicationDisplayName();
    return QFontMetrics(bold).horizontalAdvance(title) + titleBarButtons;
}

QString subjects(const QList<OpenPort> &ports)
{
    QStringList lines;
    for (const OpenPort &port : ports)
        lines.append(portSubject(port));
    return lines.join(QLatin1Char('\n'));
}

} // namespace

// What one exchange left: the result lines and what the module said meanwhile.
struct OpenPortsDialog::Answer {
    QStringList lines;
    QString headlines;
    QString details;

    // The box that says the exchange failed: the reason the module answered, then its
    // headlines, each once; everything else in the details.
    void showFailure(const QString &text) const
    {
        MessageBox box(QMessageBox::Critical, text);
        box.setInformativeText(failureReasons(lines, headlines));
        box.setDetailedText(details);
        box.exec();
    }
};

OpenPortsDialog::OpenPortsDialog(QWidget &window, QLabel &status, ModuleExchange exchange)
    : QDialog(&window), status(status), exchange(std::move(exchange)),
      table(new QTableWidget(0, headers.size(), this)),
      sentence(new QLabel(QStringLiteral("Listing the open ports..."), this)), unreadNote(new QLabel(this)),
      closeButton(new QPushButton(QStringLiteral("Close selected"), this))
{
    setWindowTitle(QStringLiteral("Open ports"));
    setObjectName(QStringLiteral("openPortsDialog"));
    setUpTable(*table);
    // Unwrapped: a dialog does not grow for a wrapped label's lines, and cuts them.
    for (QLabel *label : {sentence, unreadNote})
        label->setTextFormat(Qt::PlainText);
    sentence->setObjectName(QStringLiteral("portsSentence"));
    unreadNote->setObjectName(QStringLiteral("unreadNote"));
    unreadNote->hide();

    closeButton->setObjectName(QStringLiteral("closeButton"));
    closeButton->setAccessibleDescription(QStringLiteral("Closes the selected ports on the router and the firewall "
                                                         "entries this tool made for them"));
    closeButton->setEnabled(false);
    auto *refreshButton = new QPushButton(QStringLiteral("Refresh"), this);
    refreshButton->setObjectName(QStringLiteral("refreshButton"));
    auto *doneButton = new QPushButton(QStringLiteral("Done"), this);
    doneButton->setObjectName(QStringLiteral("doneButton"));
    doneButton->setDefault(true);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(closeButton);
    buttons->addWidget(refreshButton);
    buttons->addStretch();
    buttons->addWidget(doneButton);
    auto *layout = new QVBoxLayout(this);
    layout->addStrut(titleRoom(*this));
    layout->addWidget(table);
    layout->addWidget(sentence);
    layout->addWidget(unreadNote);
    layout->addLayout(buttons);
    setTabOrder(table, closeButton);
    setTabOrder(closeButton, refreshButton);
    setTabOrder(refreshButton, doneButton);

    connect(table, &QTableWidget::itemSelectionChanged, this,
            [this] { closeButton->setEnabled(!table->selectedItems().isEmpty()); });
    connect(closeButton, &QPushButton::clicked, this, &OpenPortsDialog::closeSelected);
    connect(refreshButton, &QPushButton::clicked, this, &OpenPortsDialog::refresh);
    connect(doneButton, &QPushButton::clicked, this, &QDialog::accept);
}

void OpenPortsDialog::refresh()
{
    status.setText(list() ? ready : readyAfterError);
}

OpenPortsDialog::Answer OpenPortsDialog::run(const QStringList &command, const QString &busyText, OddCharacters odd)
{
    // Ended on return at the latest, so a module past its wait never outlives the exchange.
    QProcess module;
    ModuleOutput output(module);
    Answer answer;
    {
        const BusySign busy(status, busyText, output);
        answer.lines = exchange(module, command, odd, &output);
    }
    answer.headlines = output.informativeText(false);
    answer.details = output.details();
    return answer;
}

bool OpenPortsDialog::list()
{
    // Each line shown that can be read: another program's odd name for its mapping spoils
    // no other row.
    const Answer answer = run({QStringLiteral("list")}, QStringLiteral("Listing ports..."), OddCharacters::Replace);
    const PortList list = readPortList(answer.lines);
    if (list.failure) {
        ports.clear();
        table->setRowCount(0);
        table->hide();
        unreadNote->hide();
        sentence->setText(notListed);
        sentence->show();
        status.setText(readyAfterError);
        answer.showFailure(QString::fromLatin1(listFailedText));
        return false;
    }
    showList(list);
    return true;
}

void OpenPortsDialog::showList(const PortList &list)
{
    ports = list.ports;
    table->clearSelection();
    table->setRowCount(ports.size());
    for (int row = 0; row < ports.size(); ++row) {
        const QStringList texts = portColumns(ports[row]);
        for (int column = 0; column < texts.size(); ++column) {
            auto *item = new QTableWidgetItem(texts[column]);
            if (!ports[row].madeHere) {
                // Marked in words too, in its last column, for those who do not see the slant.
                QFont slanted = item->font();
                slanted.setItalic(true);
                item->setFont(slanted);
                // A tip renders what looks like markup: another program's name is shown as the
                // characters it is.
                item->setToolTip(column == madeByColumn ? Qt::convertFromPlainText(texts[column])
                                                        : QStringLiteral("Opened by another program, not by this tool"));
            }
            table->setItem(row, column, item);
        }
    }
    // Measured at its content's width, then left to take the room there is.
    QHeaderView *header = table->horizontalHeader();
    header->setSectionResizeMode(madeByColumn, QHeaderView::Interactive);
    table->resizeColumnsToContents();
    // Every column in view without scrolling sideways, and a few rows.
    int width = 2 * table->frameWidth() + table->verticalScrollBar()->sizeHint().width();
    for (int column = 0; column < madeByColumn; ++column)
        width += table->columnWidth(column);
    width += std::min(table->columnWidth(madeByColumn), table->fontMetrics().averageCharWidth() * madeByCharacters);
    header->setSectionResizeMode(madeByColumn, QHeaderView::Stretch);
    table->setMinimumWidth(width);
    table->setMinimumHeight(2 * table->frameWidth() + table->horizontalHeader()->height() +
                            rowsShown * table->verticalHeader()->defaultSectionSize());

    const bool nothing = ports.isEmpty() && list.unread.isEmpty();
    table->setVisible(!nothing);
    sentence->setVisible(nothing);
    sentence->setText(nothing ? QString::fromLatin1(nothingOpenText) : QString());
    unreadNote->setVisible(!list.unread.isEmpty());
    unreadNote->setText(
        unreadLinesText(list.unread, QStringLiteral("Press Refresh to try again; if it stays, install the tool again.")));
    closeButton->setEnabled(false);
}

QList<OpenPort> OpenPortsDialog::selectedPorts() const
{
    std::set<int> rows;
    for (const QTableWidgetItem *item : table->selectedItems())
        rows.insert(item->row());
    QList<OpenPort> selected;
    for (const int row : rows)
        selected.append(ports.at(row));
    return selected;
}

void OpenPortsDialog::closeSelected()
{
    const QList<OpenPort> selected = selectedPorts();
    if (selected.isEmpty() || !confirmClose(selected))
        return;
    const Answer answer = run(closeCommand(selected), QStringLiteral("Closing ports..."), OddCharacters::RefuseAnswer);
    const bool closed = answer.lines.value(0) == QLatin1String("0");
    if (!closed) {
        status.setText(readyAfterError);
        answer.showFailure(closeFailedText(selected.size()));
    }
    const bool listed = list();
    status.setText(closed && listed ? ready : readyAfterError);
}

bool OpenPortsDialog::confirmClose(const QList<OpenPort> &selected)
{
    QList<OpenPort> others;
    std::copy_if(selected.begin(), selected.end(), std::back_inserter(others),
                 [](const OpenPort &port) { return !port.madeHere; });
    const QString count = countOf(selected.size(), "port", "ports");
    if (others.isEmpty()) {
        MessageBox box(QMessageBox::Question, QStringLiteral("Close %1?").arg(count));
        box.setInformativeText(subjects(selected) +
                               QStringLiteral("\n\nThe router then stops sending them to this machine, and the "
                                              "firewall entries this tool made for them are removed."));
        QPushButton *close = box.addButton(QStringLiteral("Close %1").arg(count), QMessageBox::AcceptRole);
        box.setEscapeButton(box.addButton(QMessageBox::Cancel));
        box.setDefaultButton(close);
        box.exec();
        return box.clickedButton() == close;
    }
    // Another program's mapping: closing it may cut that program off, so the box says whose.
    QStringList whose;
    for (const OpenPort &port : others)
        whose.append(portSubject(port) + QStringLiteral(" was opened by ") + madeByText(port) +
                     QStringLiteral(", not by this tool."));
    MessageBox box(QMessageBox::Warning, others.size() == 1 ? QStringLiteral("Close another program's port?")
                                                            : QStringLiteral("Close other programs' ports?"));
    box.setInformativeText(whose.join(QLatin1Char('\n')) +
                           QStringLiteral("\nThat program may stop working until it opens its port again.\n\n"
                                          "All that would close:\n") +
                           subjects(selected));
    QPushButton *close = box.addButton(QStringLiteral("Close anyway"), QMessageBox::DestructiveRole);
    QPushButton *cancel = box.addButton(QMessageBox::Cancel);
    box.setEscapeButton(cancel);
    box.setDefaultButton(cancel);
    box.exec();
    return box.clickedButton() == close;
}
