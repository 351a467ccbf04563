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

template <typename Control = QWidget> Control* item(const QWidget* dialog, int id)
{
    return dialog->findChild<Control*>(QString::number(id));
}

} // namespace nimbra
