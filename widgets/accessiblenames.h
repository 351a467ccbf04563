#pragma once

#include <QString>

class QWidget;

namespace nimbra {

// A text as it reads without its keyboard marker: "S&DCard File" is "SDCard File", "&&" is "&".
QString WithoutMnemonic(const QString& text);

// Gives every control of the dialog the name a screen reader speaks: a button's or check box's
// own text, else the text of the label that names it as its buddy, else, in a table of
// controls, the label heading its row and the label heading its column, else the headings of a
// list. A control that none of these name keeps the name it was given. Run it whenever the
// dialog's texts are set, so the names follow them.
void NameControls(QWidget* dialog);

} // namespace nimbra
