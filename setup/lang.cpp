#include "lang.h"

#include "accessiblenames.h"
#include "dialogitems.h"
#include "dialogparts.h"
#include "hidlink.h"
#include "keyboard.h"
#include "language.h"
#include "messageservice.h"
#include "templatesize.h"
#include "uitext.h"

#include <QComboBox>
#include <QDir>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

namespace nimbra {

namespace {

const QString German = QStringLiteral("Deutsch");
const QString English = QStringLiteral("English");

} // namespace

Lang::Lang(HidLink& link, MessageService& messages, const UiText& texts, LangData& data,
           QString settingsPath, QWidget* parent)
    : QDialog(parent), m_link(link), m_messages(messages), m_texts(texts), m_data(data),
      m_settingsPath(std::move(settingsPath))
{
    SetItemId(this, ResourceId);
    ModalToItsWindow(this);

    auto* label = new QLabel(this);
    SetItemId(label, Label);
    m_combo = new QComboBox(this);
    SetItemId(m_combo, LanguageList);
    label->setBuddy(m_combo);
    const SaveExitRow buttons = NewSaveExitRow(this, SaveButton, ExitButton);
    ButtonsTakeEnter(this, buttons.save);
    connect(buttons.save, &QPushButton::clicked, this, [this] { OnSaveLanguage(); });
    auto* layout = new QGridLayout(this);
    layout->addWidget(label, 0, 0);
    layout->addWidget(m_combo, 0, 1);
    layout->setColumnStretch(1, 1);
    layout->setRowStretch(1, 1);
    layout->addLayout(buttons.layout, 2, 0, 1, 2);
}

int Lang::DoModal()
{
    OnInitDialog();
    return exec();
}

bool Lang::OnInitDialog()
{
    setWindowTitle(m_texts.Text(TextId::Language));
    item<QLabel>(this, Label)->setText(m_texts.Text(TextId::Language));
    item<QPushButton>(this, SaveButton)->setText(m_texts.Text(TextId::Save));
    item<QPushButton>(this, ExitButton)->setText(m_texts.Text(TextId::Exit));
    NameControls(this);

    m_combo->clear();
    m_combo->addItems({German, English});
    // Whatever start-up would not read as German shows as English.
    m_combo->setCurrentIndex(ReadLanguage(m_settingsPath) == Language::German ? 0 : 1);
    setMinimumSize(TemplateSize(this, 220, 64).expandedTo(sizeHint()));
    return true;
}

void Lang::OnSaveLanguage()
{
    const bool english = m_combo->currentText() == English;
    // Restarting without the choice on disk would bring the program back in the old language
    // as if the switch had worked; the station keeps its language too.
    if (!WriteLanguage(m_settingsPath, english ? Language::English : Language::German)) {
        m_messages.inform(
            m_texts.Text(TextId::LanguageNotSaved).arg(QDir::toNativeSeparators(m_settingsPath)));
        return;
    }
    // The computer side has changed: the restart follows whatever the station made of it.
    if (!m_link.Connected()) {
        accept();
        return;
    }
    m_exchange.run(
        [&link = m_link, &screenBusy = m_data.m_ScreenBusy, english] {
            return WriteToStation(link, screenBusy, {CommandFrame::language(english)});
        },
        [this](WriteOutcome outcome) {
            TellWriteOutcome(outcome, m_texts, m_messages);
            accept();
        });
}

} // namespace nimbra
