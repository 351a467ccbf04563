#include "dialogparts.h"

#include "dialogitems.h"
#include "messageservice.h"
#include "uitext.h"

#include <QDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QWidget>

namespace nimbra {

WriteOutcome WriteToStation(HidLink& link, const std::atomic<int>& screenBusy,
                            std::vector<CommandFrame> frames)
{
    frames.push_back(CommandFrame::endOfWrite());
    const Timing& t = link.timing();
    return link.GuardedWrite(screenBusy, frames, t.guardedFirst, t.guardedFinal);
}

void TellWriteOutcome(WriteOutcome outcome, const UiText& texts, MessageService& messages)
{
    if (outcome == WriteOutcome::ScreenBusy)
        messages.inform(texts.Text(TextId::SwitchToMainScreen));
    else if (outcome == WriteOutcome::Unconnected)
        messages.inform(texts.Text(TextId::Unconnected));
}

QLabel* NewLabel(QWidget* parent, int id, const QString& text)
{
    auto* label = new QLabel(text, parent);
    if (id != 0)
        SetItemId(label, id);
    return label;
}

SaveExitRow NewSaveExitRow(QDialog* dialog, int saveId, int exitId)
{
    SaveExitRow row;
    row.save = new QPushButton(dialog);
    SetItemId(row.save, saveId);
    row.exit = new QPushButton(dialog);
    SetItemId(row.exit, exitId);
    QObject::connect(row.exit, &QPushButton::clicked, dialog, &QDialog::reject);
    row.layout = new QHBoxLayout;
    row.layout->addStretch(1);
    row.layout->addWidget(row.save);
    row.layout->addWidget(row.exit);
    return row;
}

void ChainTabOrder(const QList<QWidget*>& order)
{
    for (qsizetype i = 1; i < order.size(); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);
}

} // namespace nimbra
