#pragma once

#include "clocksync.h"
#include "exchangerunner.h"

#include <QDialog>

namespace nimbra {

class HidLink;
class MessageService;

// The small clock dialog: one button that sets the station's clock, no question and no screen
// check. Its texts are the same in both languages.
class SyncTime final : public QDialog
{
public:
    static constexpr int ResourceId = 142;
    static constexpr int SyncButton = 1005;
    static constexpr int ExitButton = 1006;

    SyncTime(HidLink& link, MessageService& messages, QWidget* parent = nullptr,
             LocalClock clock = SystemLocalTime);

    // Button 1005: sets the clock off the user-interface thread, tells the result, then closes
    // as Exit does.
    void OnSyncTime();

private:
    HidLink& m_link;
    MessageService& m_messages;
    const LocalClock m_clock;
    // Last, so that it waits for its worker before anything the dialog holds goes.
    ExchangeRunner m_exchange{this};
};

} // namespace nimbra
