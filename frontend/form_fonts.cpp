#include "form_fonts.h"

#include <QFont>
#include <QLabel>
#include <QWidget>

namespace {

constexpr int formTextPixels = 12;
constexpr int statusTextPixels = 11;

void setPixelSize(QWidget &widget, int pixels)
{
    QFont font = widget.font();
    font.setPixelSize(pixels);
    widget.setFont(font);
}

} // namespace

void fitFormFonts(QWidget &window, QLabel &status)
{
    setPixelSize(window, formTextPixels);
    setPixelSize(status, statusTextPixels);
}
