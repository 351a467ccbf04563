#pragma once

#include <QString>
#include <QWidget>

namespace nimbra {

// Controls are known by their resource ids, so code and tests speak the same numbers: the id
// becomes the control's object name and item() finds it again.
inline void SetItemId(QWidget* control, int id)
{
    control->setObjectName(QString::number(id));
}

// A dialog blocks the windows it belongs to, not the whole program: the station emulator's
// panel stays usable while a dialog runs, so a station can be pulled in the middle of a download.
inline void ModalToItsWindow(QWidget* dialog)
{
    dialog->setWindowModality(Qt::WindowModal);
}

template <typename Control = QWidget> Control* item(const QWidget* dialog, int id)
{
    return dialog->findChild<Control*>(QString::number(id));
}

} // namespace nimbra
