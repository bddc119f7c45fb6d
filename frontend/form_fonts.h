#ifndef VARNETH_FORM_FONTS_H
#define VARNETH_FORM_FONTS_H

class QLabel;
class QWidget;

// Sizes the form's fonts in pixels, as its fixed geometry is, so every text fits its
// widget whatever the screen's DPI; high-DPI scaling then enlarges both together.
// The status line is a size smaller: only its first 127 pixels lie inside the window.
void fitFormFonts(QWidget &window, QLabel &status);

#endif
