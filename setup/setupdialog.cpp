#include "setupdialog.h"

#include "dialogitems.h"
#include "dialogparts.h"
#include "keyboard.h"
#include "uitext.h"

#include <QBoxLayout>
#include <QPushButton>

namespace nimbra {

SetupDialog::SetupDialog(int resourceId, HidLink& link, const UiText& texts,
                         MessageService& messages, QWidget* parent)
    : QDialog(parent), m_link(link), m_texts(texts), m_messages(messages)
{
    SetItemId(this, resourceId);
    ModalToItsWindow(this);
}

void SetupDialog::addSaveExitRow(QLayout* body, QList<QWidget*> order, int saveId, int exitId)
{
    const SaveExitRow buttons = NewSaveExitRow(this, saveId, exitId);
    m_save = buttons.save;
    m_exit = buttons.exit;

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(body);
    layout->addLayout(buttons.layout);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    order << m_save << m_exit;
    ChainTabOrder(order);
    ButtonsTakeEnter(this, m_save);
    connect(m_save, &QPushButton::clicked, this, [this] { save(); });
}

bool SetupDialog::showTitle(TextId titleText)
{
    setWindowTitle(m_texts.Text(titleText));
    m_save->setText(m_texts.Text(TextId::Save));
    m_exit->setText(m_texts.Text(TextId::Exit));
    const bool connected = m_link.Connected();
    m_save->setEnabled(connected);
    return connected;
}

void SetupDialog::saveAndClose(const std::atomic<int>& screenBusy, std::vector<CommandFrame> frames,
                               std::function<void()> written)
{
    if (!m_link.Connected()) {
        accept();
        return;
    }
    m_exchange.run(
        [&link = m_link, &screenBusy, frames = std::move(frames)] {
            return WriteToStation(link, screenBusy, frames);
        },
        [this, written = std::move(written)](WriteOutcome outcome) {
            TellWriteOutcome(outcome, m_texts, m_messages);
            if (outcome == WriteOutcome::Written)
                written();
            accept();
        });
}

} // namespace nimbra
