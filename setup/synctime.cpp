#include "synctime.h"

#include "accessiblenames.h"
#include "dialogitems.h"
#include "dialogparts.h"
#include "keyboard.h"
#include "templatesize.h"

#include <QHBoxLayout>
#include <QPushButton>

namespace nimbra {

SyncTime::SyncTime(HidLink& link, MessageService& messages, QWidget* parent, LocalClock clock)
    : QDialog(parent), m_link(link), m_messages(messages), m_clock(std::move(clock))
{
    SetItemId(this, ResourceId);
    ModalToItsWindow(this);
    setWindowTitle(QStringLiteral("Sync Time"));

    auto* sync = new QPushButton(QStringLiteral("Sync Time"), this);
    SetItemId(sync, SyncButton);
    auto* exit = new QPushButton(QStringLiteral("Exit"), this);
    SetItemId(exit, ExitButton);
    ButtonsTakeEnter(this, sync);
    connect(sync, &QPushButton::clicked, this, [this] { OnSyncTime(); });
    connect(exit, &QPushButton::clicked, this, &QDialog::reject);

    auto* layout = new QHBoxLayout(this);
    layout->addStretch();
    layout->addWidget(sync);
    layout->addWidget(exit);
    layout->addStretch();
    NameControls(this);
    setMinimumSize(TemplateSize(this, 171, 49).expandedTo(sizeHint()));
}

void SyncTime::OnSyncTime()
{
    m_exchange.run([&link = m_link, clock = m_clock] { return SendClockIfConnected(link, clock); },
                   [this](bool sent) {
                       TellClockSent(m_messages, sent);
                       reject();
                   });
}

} // namespace nimbra
