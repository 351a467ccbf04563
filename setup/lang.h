#pragma once

#include "exchangerunner.h"

#include <QDialog>
#include <QString>
#include <atomic>

class QComboBox;

namespace nimbra {

class HidLink;
class MessageService;
class UiText;

// What the language dialog keeps between showings: its copy of the screen-check reply, filled
// by the reader thread.
struct LangData
{
    std::atomic<int> m_ScreenBusy{0};
};

// The language dialog: writes the choice into Main.ini and to the station. Ending with OK
// means the choice was saved and the program should restart into it.
class Lang final : public QDialog
{
public:
    static constexpr int ResourceId = 155;
    static constexpr int Label = 1133;
    static constexpr int LanguageList = 1006;
    static constexpr int SaveButton = 1005;
    static constexpr int ExitButton = 1037;

    Lang(HidLink& link, MessageService& messages, const UiText& texts, LangData& data,
         QString settingsPath, QWidget* parent = nullptr);

    int DoModal();
    // Texts, the two items, and the language Main.ini names preselected.
    bool OnInitDialog();
    // Button 1005. Main.ini first; only when it took the choice does the station get it too,
    // off the user-interface thread, and the dialog close with OK.
    void OnSaveLanguage();

private:
    HidLink& m_link;
    MessageService& m_messages;
    const UiText& m_texts;
    LangData& m_data;
    const QString m_settingsPath;
    QComboBox* m_combo = nullptr;
    // Last, so that it waits for its worker before anything the dialog holds goes.
    ExchangeRunner m_exchange{this};
};

} // namespace nimbra
