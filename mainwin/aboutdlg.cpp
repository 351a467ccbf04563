#include "aboutdlg.h"

#include "accessiblenames.h"
#include "channelscreen.h"
#include "dialogitems.h"
#include "keyboard.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace nimbra {

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent)
{
    SetItemId(this, ResourceId);
    ModalToItsWindow(this);
    setWindowTitle(QStringLiteral("ABout Nimbra"));

    auto* icon = new QLabel(this);
    icon->setPixmap(WindowIcon().pixmap(32, 32));
    auto* name = new QLabel(QStringLiteral("Nimbra, 1.3"), this);
    SetItemId(name, NameId);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    SetItemId(buttons->button(QDialogButtonBox::Ok), OkId);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    ButtonsTakeEnter(this, buttons->button(QDialogButtonBox::Ok));
    NameControls(this);

    auto* row = new QHBoxLayout;
    row->addWidget(icon);
    row->addWidget(name, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addWidget(buttons);
    setFixedSize(sizeHint());
}

} // namespace nimbra
