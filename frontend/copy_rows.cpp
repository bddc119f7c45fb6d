#include "copy_rows.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QTableView>

#include <algorithm>

namespace {

QString selectedRowsText(const QTableView &table)
{
    const QHeaderView &rows = *table.verticalHeader();
    const QHeaderView &columns = *table.horizontalHeader();
    QModelIndexList selected = table.selectionModel()->selectedRows();
    std::sort(selected.begin(), selected.end(), [&](const QModelIndex &a, const QModelIndex &b) {
        return rows.visualIndex(a.row()) < rows.visualIndex(b.row());
    });
    QStringList lines;
    for (const QModelIndex &row : selected) {
        if (table.isRowHidden(row.row()))
            continue;
        QStringList cells;
        for (int visual = 0; visual < columns.count(); ++visual) {
            const int column = columns.logicalIndex(visual);
            if (!table.isColumnHidden(column))
                cells.append(row.siblingAtColumn(column).data().toString());
        }
        lines.append(cells.join(QLatin1Char('\t')));
    }
    return lines.join(QLatin1Char('\n'));
}

// Takes the copy key before the view, which would copy the current cell alone.
class CopyKey : public QObject
{
public:
    explicit CopyKey(QTableView &table) : QObject(&table), table(table) {}

    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() != QEvent::KeyPress || !static_cast<QKeyEvent *>(event)->matches(QKeySequence::Copy))
            return false;
        const QString text = selectedRowsText(table);
        if (!text.isEmpty())
            QGuiApplication::clipboard()->setText(text);
        return true;
    }

private:
    QTableView &table;
};

} // namespace

void copyRowsOnCopyKey(QTableView &table)
{
    table.installEventFilter(new CopyKey(table));
}
