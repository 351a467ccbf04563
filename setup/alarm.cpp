#include "alarm.h"

#include "accessiblenames.h"
#include "dialogitems.h"
#include "dialogparts.h"
#include "messageservice.h"
#include "uitext.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>

namespace nimbra {

namespace {

std::size_t slot(int channel, int low)
{
    return static_cast<std::size_t>(2 * (channel - 1) + low);
}

} // namespace

Alarm::Alarm(AlarmData& data, HidLink& link, const UiText& texts, MessageService& messages,
             QWidget* parent)
    : SetupDialog(ResourceId, link, texts, messages, parent), m_data(data)
{
    buildControls();
    OnInitDialog();
}

QWidget* Alarm::buildGroup(Group& group, bool humidity)
{
    auto* box = new QGroupBox(this);
    SetItemId(box, humidity ? HumiGroupId : TempGroupId);
    auto* grid = new QGridLayout(box);
    group.master = new QComboBox(box);
    SetItemId(group.master, humidity ? HumiSwitchId : TempSwitchId);
    auto* top = new QHBoxLayout;
    QLabel* switchLabel = NewLabel(box, humidity ? HumiSwitchLabelId : TempSwitchLabelId);
    switchLabel->setBuddy(group.master);
    top->addWidget(switchLabel);
    top->addWidget(group.master);
    top->addStretch(1);
    grid->addLayout(top, 0, 0, 1, 7);
    grid->addWidget(NewLabel(box, humidity ? HumiHighLabelId : TempHighLabelId), 1, 1, 1, 3,
                    Qt::AlignHCenter);
    grid->addWidget(NewLabel(box, humidity ? HumiLowLabelId : TempLowLabelId), 1, 4, 1, 3,
                    Qt::AlignHCenter);

    const int checkIds[] = {humidity ? HumiHighCheck : TempHighCheck,
                            humidity ? HumiLowCheck : TempLowCheck};
    const int editIds[] = {humidity ? HumiHighEdit : TempHighEdit,
                           humidity ? HumiLowEdit : TempLowEdit};
    const int unitIds[] = {TempUnitHigh, TempUnitLow};
    for (int c = 1; c <= ChannelCount; ++c) {
        grid->addWidget(NewLabel(box, 0, QStringLiteral("CH%1:").arg(c)), c + 1, 0);
        for (int low = 0; low < 2; ++low) {
            auto* check = new QCheckBox(box);
            SetItemId(check, checkIds[low] + c - 1);
            auto* edit = new QLineEdit(box);
            SetItemId(edit, editIds[low] + c - 1);
            edit->setMaximumWidth(edit->fontMetrics().horizontalAdvance(QStringLiteral("-000.00")) +
                                  12);
            QLabel* unit = humidity ? NewLabel(box, 0, QStringLiteral("%"))
                                    : NewLabel(box, unitIds[low] + c - 1);
            group.checks[slot(c, low)] = check;
            group.edits[slot(c, low)] = edit;
            grid->addWidget(check, c + 1, 1 + 3 * low);
            grid->addWidget(edit, c + 1, 2 + 3 * low);
            grid->addWidget(unit, c + 1, 3 + 3 * low);
        }
    }
    connect(group.master, &QComboBox::currentIndexChanged, this,
            [this, &group] { applySwitch(group); });
    return box;
}

void Alarm::buildControls()
{
    auto* groups = new QHBoxLayout;
    groups->addWidget(buildGroup(m_temp, false));
    groups->addWidget(buildGroup(m_humi, true));

    // Reading order: each group from its switch down its rows, left group first.
    QList<QWidget*> order;
    for (const Group* group : {&m_temp, &m_humi}) {
        order << group->master;
        for (std::size_t i = 0; i < group->edits.size(); ++i)
            order << group->checks[i] << group->edits[i];
    }
    addSaveExitRow(groups, order, SaveId, ExitId);
}

bool Alarm::OnInitDialog()
{
    const bool connected = showTitle(TextId::Alarm);
    constexpr std::pair<int, TextId> Texts[] = {{TempSwitchLabelId, TextId::TemperatureAlarm},
                                                {HumiSwitchLabelId, TextId::HumidityAlarm},
                                                {TempHighLabelId, TextId::High},
                                                {TempLowLabelId, TextId::Low},
                                                {HumiHighLabelId, TextId::High},
                                                {HumiLowLabelId, TextId::Low}};
    for (const auto& [control, text] : Texts)
        item<QLabel>(this, control)->setText(m_texts.Text(text));
    item<QGroupBox>(this, TempGroupId)->setTitle(m_texts.Text(TextId::TemperatureAlarm));
    item<QGroupBox>(this, HumiGroupId)->setTitle(m_texts.Text(TextId::HumidityAlarm));
    m_temp.master->addItems({"ON", "OFF"});
    m_humi.master->addItems({"ON", "OFF"});
    NameControls(this);

    m_fahrenheit = m_link.Fahrenheit();
    m_pages = connected ? m_data.m_pages.get() : UnconnectedAlarmPages();

    const QString unit = m_fahrenheit ? QStringLiteral("\u00B0F") : QStringLiteral("\u00B0C");
    for (int c = 1; c <= ChannelCount; ++c) {
        item<QLabel>(this, TempUnitHigh + c - 1)->setText(unit);
        item<QLabel>(this, TempUnitLow + c - 1)->setText(unit);
    }
    const AlarmForm form = AlarmFormFromPages(m_pages, m_fahrenheit);
    const auto fill = [](Group& group, const auto& texts, std::uint8_t high, std::uint8_t low) {
        for (int c = 1; c <= ChannelCount; ++c) {
            for (int l = 0; l < 2; ++l) {
                group.edits[slot(c, l)]->setText(QString::fromStdString(texts[slot(c, l)]));
                group.checks[slot(c, l)]->setChecked(((l ? low : high) >> (c - 1)) & 1);
            }
        }
    };
    fill(m_temp, form.temps, form.enables[TempHighEnable], form.enables[TempLowEnable]);
    fill(m_humi, form.humis, form.enables[HumiHighEnable], form.enables[HumiLowEnable]);
    m_temp.master->setCurrentIndex(form.tempSwitch < 2 ? form.tempSwitch : -1);
    m_humi.master->setCurrentIndex(form.humiSwitch < 2 ? form.humiSwitch : -1);
    applySwitch(m_temp);
    applySwitch(m_humi);
    return true;
}

void Alarm::applySwitch(const Group& group)
{
    const bool on = group.master->currentIndex() == 0;
    for (std::size_t i = 0; i < group.edits.size(); ++i) {
        group.edits[i]->setEnabled(on);
        group.checks[i]->setEnabled(on);
    }
}

AlarmForm Alarm::readForm() const
{
    AlarmForm form;
    form.tempSwitch = m_temp.master->currentIndex();
    form.humiSwitch = m_humi.master->currentIndex();
    const auto bits = [](const Group& group, int low) {
        std::uint8_t byte = 0;
        for (int c = 1; c <= ChannelCount; ++c) {
            if (group.checks[slot(c, low)]->isChecked())
                byte |= static_cast<std::uint8_t>(1u << (c - 1));
        }
        return byte;
    };
    form.enables[HumiHighEnable] = bits(m_humi, 0);
    form.enables[HumiLowEnable] = bits(m_humi, 1);
    form.enables[TempHighEnable] = bits(m_temp, 0);
    form.enables[TempLowEnable] = bits(m_temp, 1);
    for (std::size_t i = 0; i < form.temps.size(); ++i) {
        form.temps[i] = m_temp.edits[i]->text().toStdString();
        form.humis[i] = m_humi.edits[i]->text().toStdString();
    }
    return form;
}

void Alarm::save()
{
    const AlarmWrite write = AlarmFrames(readForm(), m_pages, m_fahrenheit);
    if (write.check == AlarmCheck::TempError) {
        m_messages.inform(m_texts.Text(TextId::TempError));
        return;
    }
    if (write.check == AlarmCheck::HumiError) {
        m_messages.inform(m_texts.Text(TextId::HumiError));
        return;
    }
    if (write.check == AlarmCheck::TempNoValue) {
        m_messages.inform(QStringLiteral(" CH%1 %2.")
                              .arg(write.channel)
                              .arg(m_texts.Text(TextId::TempReadsAsNoValue)));
        return;
    }
    saveAndClose(m_data.m_ScreenBusy, write.frames,
                 [this, pages = write.pages] { m_data.m_pages.set(pages); });
}

} // namespace nimbra
