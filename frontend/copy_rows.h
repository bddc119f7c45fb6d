#ifndef VARNETH_COPY_ROWS_H
#define VARNETH_COPY_ROWS_H

class QTableView;

// The copy key (Ctrl+C) puts the table's selected rows on the clipboard as text, ready
// to paste into a message: one line a row, the visible columns tab-separated, both in
// the order shown.
void copyRowsOnCopyKey(QTableView &table);

#endif
