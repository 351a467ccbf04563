#pragma once

#include <QFontMetrics>
#include <QSize>
#include <QWidget>

namespace nimbra {

// A dialog template's size in dialog units, in pixels of the widget's font: a horizontal unit
// is a quarter of the average character width, a vertical one an eighth of the line height.
inline QSize TemplateSize(const QWidget* dialog, int widthUnits, int heightUnits)
{
    const QFontMetrics metrics = dialog->fontMetrics();
    return {widthUnits * metrics.averageCharWidth() / 4, heightUnits * metrics.height() / 8};
}

} // namespace nimbra
