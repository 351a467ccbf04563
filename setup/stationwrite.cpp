#include "stationwrite.h"

#include "messageservice.h"
#include "uitext.h"

#include <QPushButton>
#include <QWidget>

namespace nimbra {

WriteOutcome SaveToStation(HidLink& link, const std::atomic<int>& screenBusy,
                           std::vector<CommandFrame> frames, const UiText& texts,
                           MessageService& messages)
{
    frames.push_back(CommandFrame::EndOfWrite());
    const Timing& t = link.timing();
    const WriteOutcome outcome =
        link.GuardedWrite(screenBusy, frames, t.guardedFirst, t.guardedFinal);
    if (outcome == WriteOutcome::ScreenBusy)
        messages.inform(texts.Text(236));
    else if (outcome == WriteOutcome::Unconnected)
        messages.inform(texts.Text(232));
    return outcome;
}

void NoAutoDefault(QWidget* dialog)
{
    for (QPushButton* button : dialog->findChildren<QPushButton*>())
        button->setAutoDefault(false);
}

} // namespace nimbra
