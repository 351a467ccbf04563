#pragma once

#include "hidlink.h"

#include <QList>
#include <QString>
#include <atomic>
#include <vector>

class QDialog;
class QHBoxLayout;
class QLabel;
class QPushButton;
class QWidget;

namespace nimbra {

class MessageService;
class UiText;

// The Save of a setup dialog: the data frames and EndOfWrite behind the screen check. The
// write never counts as done unless every frame was sent. Blocks for the station's waits.
WriteOutcome WriteToStation(HidLink& link, const std::atomic<int>& screenBusy,
                            std::vector<CommandFrame> frames);
// A busy station and a write that did not go out are told to the user.
void TellWriteOutcome(WriteOutcome outcome, const UiText& texts, MessageService& messages);

// A label known by its resource id; 0 for the fixed labels that no code looks up.
QLabel* NewLabel(QWidget* parent, int id, const QString& text = {});

// Save and Exit at the right end of a row, known by their ids; Exit closes with Cancel.
struct SaveExitRow
{
    QHBoxLayout* layout = nullptr;
    QPushButton* save = nullptr;
    QPushButton* exit = nullptr;
};
SaveExitRow NewSaveExitRow(QDialog* dialog, int saveId, int exitId);

// Tab moves through the controls in the order given.
void ChainTabOrder(const QList<QWidget*>& order);

} // namespace nimbra
