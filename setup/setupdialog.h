#pragma once

#include "exchangerunner.h"
#include "hidlink.h"
#include "uitext.h"

#include <QDialog>
#include <atomic>
#include <functional>
#include <vector>

class QLayout;
class QPushButton;

namespace nimbra {

class MessageService;

// What the Setup, Alarm and Calibration dialogs share: the station they save to, the row of
// Save and Exit under their controls, and a Save that sends its frames and closes.
class SetupDialog : public QDialog
{
    Q_OBJECT
protected:
    SetupDialog(int resourceId, HidLink& link, const UiText& texts, MessageService& messages,
                QWidget* parent);

    // Puts the Save and Exit row under body. Tab runs through order, then Save and Exit;
    // Enter saves, on a focused button it presses that one.
    void addSaveExitRow(QLayout* body, QList<QWidget*> order, int saveId, int exitId);
    // The title and the buttons' texts. Without a station there is nothing to save to: Save is
    // off. Returns whether a station is connected.
    bool showTitle(TextId titleText);
    // Sends the frames behind the screen check off the user-interface thread, then tells what
    // came of it and closes. Once every frame went out the station holds them, and written()
    // makes the dialog's own copy follow: a reopening before the next poll must not show, and
    // send back, what the station held before. screenBusy outlives the dialog.
    void saveAndClose(const std::atomic<int>& screenBusy, std::vector<CommandFrame> frames,
                      std::function<void()> written);

    HidLink& m_link;
    const UiText& m_texts;
    MessageService& m_messages;
    QPushButton* m_save = nullptr;
    QPushButton* m_exit = nullptr;
    // Last, so that it waits for its worker before anything the dialog holds goes.
    ExchangeRunner m_exchange{this};

private:
    virtual void save() = 0;
};

} // namespace nimbra
