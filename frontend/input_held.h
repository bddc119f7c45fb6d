#ifndef VARNETH_INPUT_HELD_H
#define VARNETH_INPUT_HELD_H

// Processes the events waiting for this thread with every click, key, touch and wheel
// dropped, and every request to close a window: while the window waits for the module it repaints and answers the desktop,
// and no input waits to act once the wait is over. Qt Core alone: the command line,
// which gets no input events, shares it.
void processEventsWithoutInput();

#endif
