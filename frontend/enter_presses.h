#ifndef VARNETH_ENTER_PRESSES_H
#define VARNETH_ENTER_PRESSES_H

class QAbstractButton;
class QLineEdit;

// Enter (or Return) in the field clicks the button. Also with fewer digits than the
// field's input mask asks for, where the field itself signals no return press.
void pressOnEnter(QLineEdit &field, QAbstractButton &button);

#endif
