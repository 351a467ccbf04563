#pragma once

#include "hidlink.h"

#include <atomic>
#include <vector>

class QWidget;

namespace nimbra {

class MessageService;
class UiText;

// The Save of a setup dialog: the data frames and EndOfWrite behind the screen check. A busy
// station and a write that did not go out are told to the user; the write never counts as
// done unless every frame was sent.
WriteOutcome SaveToStation(HidLink& link, const std::atomic<int>& screenBusy,
                           std::vector<CommandFrame> frames, const UiText& texts,
                           MessageService& messages);

// A dialog's buttons never become the default by taking the focus: Enter saves only where
// the dialog names a default button.
void NoAutoDefault(QWidget* dialog);

} // namespace nimbra
