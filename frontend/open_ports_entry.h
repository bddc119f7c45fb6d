#ifndef VARNETH_OPEN_PORTS_ENTRY_H
#define VARNETH_OPEN_PORTS_ENTRY_H

#include <functional>

class QWidget;

// "Open ports…" with its mnemonic: the entry's text, also on the outcome boxes of a forward.
extern const char *const openPortsText;

// The way from the window to its open ports, beside the fixed form: the first entry of
// the context menu anywhere in it (before a text field's own entries) and Ctrl+O, shown
// there. `open` runs once the menu has closed, from the event loop.
void addOpenPortsEntry(QWidget &window, std::function<void()> open);

#endif
