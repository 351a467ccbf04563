#include "setting.h"

#include "accessiblenames.h"
#include "clocksync.h"
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
#include <QPushButton>
#include <QVBoxLayout>

namespace nimbra {

namespace {

enum Box
{
    GraphType,
    GraphTime,
    TimeFormat,
    DateFormat,
    Daylight,
    TimeZone,
    Unit,
    Area
};

constexpr int BoxIds[] = {Setting::GraphTypeBoxId,  Setting::GraphTimeBoxId,
                          Setting::TimeFormatBoxId, Setting::DateFormatBoxId,
                          Setting::DaylightBoxId,   Setting::TimeZoneBoxId,
                          Setting::UnitBoxId,       Setting::AreaBoxId};

QStringList zoneItems()
{
    QStringList items;
    for (int hours = -12; hours <= 12; ++hours)
        items << QString::number(hours);
    return items;
}

} // namespace

Setting::Setting(SettingData& data, HidLink& link, const UiText& texts, MessageService& messages,
                 QWidget* parent)
    : SetupDialog(ResourceId, link, texts, messages, parent), m_data(data)
{
    buildControls();
    OnInitDialog();
}

void Setting::buildControls()
{
    for (std::size_t b = 0; b < m_boxes.size(); ++b) {
        m_boxes[b] = new QComboBox(this);
        SetItemId(m_boxes[b], BoxIds[b]);
    }
    m_interval = new QLineEdit(this);
    SetItemId(m_interval, IntervalEditId);
    auto* syncTime = new QPushButton(QStringLiteral("Sync Time"), this);
    SetItemId(syncTime, SyncTimeId);
    syncTime->setVisible(false);
    auto* setInterval = new QPushButton(this);
    SetItemId(setInterval, SetIntervalId);

    auto* upper = new QGroupBox(this);
    auto* grid = new QGridLayout(upper);
    const auto row = [&](int r, int column, QLabel* name, QWidget* control) {
        name->setBuddy(control);
        grid->addWidget(name, r, column);
        grid->addWidget(control, r, column + 1);
    };
    row(0, 0, NewLabel(upper, GraphTypeLabelId), m_boxes[GraphType]);
    row(0, 3, NewLabel(upper, TimeFormatLabelId), m_boxes[TimeFormat]);
    row(1, 0, NewLabel(upper, GraphTimeLabelId), m_boxes[GraphTime]);
    row(1, 3, NewLabel(upper, DateFormatLabelId), m_boxes[DateFormat]);
    row(2, 0, NewLabel(upper, 0, QStringLiteral("DST")), m_boxes[Daylight]);
    row(2, 3, NewLabel(upper, UnitLabelId), m_boxes[Unit]);
    row(3, 0, NewLabel(upper, TimeZoneLabelId), m_boxes[TimeZone]);
    grid->addWidget(syncTime, 3, 4);
    auto* minutes = new QHBoxLayout;
    minutes->addWidget(m_interval);
    minutes->addWidget(NewLabel(upper, MinuteLabelId));
    QLabel* intervalLabel = NewLabel(upper, IntervalLabelId);
    intervalLabel->setBuddy(m_interval);
    grid->addWidget(intervalLabel, 4, 0);
    grid->addLayout(minutes, 4, 1);
    grid->addWidget(setInterval, 4, 4);
    grid->setColumnMinimumWidth(2, 24);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(4, 1);

    auto* lower = new QGroupBox(this);
    auto* ticks = new QGridLayout(lower);
    ticks->addWidget(m_boxes[Area], 0, 0);
    for (int c = 1; c <= ChannelCount; ++c)
        ticks->addWidget(NewLabel(lower, 0, QStringLiteral("CH%1").arg(c)), 0, c, Qt::AlignHCenter);
    constexpr int RowLabels[] = {TemperatureRowId, DewPointRowId, HeatIndexRowId};
    for (int q = 0; q < QuantityCount; ++q) {
        ticks->addWidget(NewLabel(lower, RowLabels[q]), q + 1, 0);
        for (int c = 1; c <= ChannelCount; ++c) {
            auto* check = new QCheckBox(lower);
            SetItemId(check, CheckBoxId(c, q));
            m_checks[static_cast<std::size_t>(q * ChannelCount + c - 1)] = check;
            ticks->addWidget(check, q + 1, c, Qt::AlignHCenter);
        }
    }

    auto* body = new QVBoxLayout;
    body->addWidget(upper);
    body->addWidget(lower);

    // Reading order: row by row through both columns, then the areas, then the buttons.
    QList<QWidget*> order{
        m_boxes[GraphType], m_boxes[TimeFormat], m_boxes[GraphTime], m_boxes[DateFormat],
        m_boxes[Daylight],  m_boxes[Unit],       m_boxes[TimeZone],  syncTime,
        m_interval,         setInterval,         m_boxes[Area]};
    for (QCheckBox* check : m_checks)
        order << check;
    addSaveExitRow(body, order, SaveId, ExitId);

    connect(m_boxes[Area], &QComboBox::currentIndexChanged, this, [this] { OnAreaChanged(); });
    connect(setInterval, &QPushButton::clicked, this, [this] { OnSetInterval(); });
    connect(syncTime, &QPushButton::clicked, this, [this] { OnSyncTime(); });
}

bool Setting::OnInitDialog()
{
    m_ShownArea = 0;
    m_Initialising = true;
    const bool connected = showTitle(TextId::Setup);
    constexpr std::pair<int, TextId> Texts[] = {{GraphTypeLabelId, TextId::GraphType},
                                                {GraphTimeLabelId, TextId::GraphTime},
                                                {TimeZoneLabelId, TextId::TimeZone},
                                                {IntervalLabelId, TextId::Interval},
                                                {TimeFormatLabelId, TextId::TimeFormat},
                                                {DateFormatLabelId, TextId::DateFormat},
                                                {UnitLabelId, TextId::Units},
                                                {MinuteLabelId, TextId::Minute},
                                                {TemperatureRowId, TextId::Temperature},
                                                {DewPointRowId, TextId::DewPoint},
                                                {HeatIndexRowId, TextId::HeatIndex}};
    for (const auto& [control, text] : Texts)
        item<QLabel>(this, control)->setText(m_texts.Text(text));
    item<QPushButton>(this, SetIntervalId)->setText(m_texts.Text(TextId::SetInterval));
    // The areas' box has no label of its own: the channels' ticks head its column.
    m_boxes[Area]->setAccessibleName(m_texts.Text(TextId::Area));
    NameControls(this);

    m_boxes[GraphType]->addItems({m_texts.Text(TextId::Temperature), m_texts.Text(TextId::Humidity),
                                  m_texts.Text(TextId::DewPoint), m_texts.Text(TextId::HeatIndex)});
    m_boxes[GraphTime]->addItems({"12H", "24H", "48H", "72H"});
    m_boxes[TimeFormat]->addItems({"h:mm:ss", "AM h:mm:ss", "h:mm:ss AM"});
    m_boxes[DateFormat]->addItems({"YYYY-MM-DD", "MM-DD-YYYY", "DD-MM-YYYY"});
    m_boxes[Daylight]->addItems({"OFF", "ON"});
    m_boxes[TimeZone]->addItems(zoneItems());
    m_boxes[Unit]->addItems({QStringLiteral("\u00B0C"), QStringLiteral("\u00B0F")});
    m_boxes[Area]->addItems({"CH Area1", "CH Area2", "CH Area3", "CH Area4", "CH Area5"});

    // Filling the boxes selected their first items; the page decides from here.
    if (connected) {
        const SettingSelection s = SelectionFromPage(m_data.m_SettingsPage.get());
        const int shown[] = {s.graphType,      s.graphTime, s.timeFormat, s.dateFormat,
                             s.daylightSaving, s.timeZone,  s.unit};
        for (std::size_t b = 0; b < std::size(shown); ++b)
            m_boxes[b]->setCurrentIndex(shown[b] >= 0 && shown[b] < m_boxes[b]->count() ? shown[b]
                                                                                        : -1);
        m_data.m_AreaMask = s.masks;
        m_interval->setText(QString::number(m_data.m_IntervalMinutes.load()));
    } else {
        m_interval->setText(QStringLiteral("5"));
    }
    OnAreaChanged();
    m_Initialising = false;
    return true;
}

std::uint32_t Setting::readChecks() const
{
    std::uint32_t mask = 0;
    for (int q = 0; q < QuantityCount; ++q) {
        for (int c = 1; c <= ChannelCount; ++c) {
            if (m_checks[static_cast<std::size_t>(q * ChannelCount + c - 1)]->isChecked())
                mask |= MaskBit(c, q);
        }
    }
    return mask;
}

void Setting::showMask(std::uint32_t mask, bool areaOne)
{
    for (int q = 0; q < QuantityCount; ++q) {
        for (int c = 1; c <= ChannelCount; ++c) {
            QCheckBox* check = m_checks[static_cast<std::size_t>(q * ChannelCount + c - 1)];
            check->setChecked((mask & MaskBit(c, q)) != 0);
            // The first area always shows CH1 and only CH1 can be changed there.
            check->setEnabled(!areaOne || c == 1);
        }
    }
}

void Setting::OnAreaChanged()
{
    if (!m_Initialising)
        m_data.m_AreaMask[static_cast<std::size_t>(AreaOf(m_ShownArea))] = readChecks();
    m_ShownArea = m_boxes[Area]->currentIndex();
    showMask(m_data.m_AreaMask[static_cast<std::size_t>(AreaOf(m_ShownArea))], m_ShownArea == 0);
}

SettingSelection Setting::readSelection() const
{
    SettingSelection s;
    s.graphType = m_boxes[GraphType]->currentIndex();
    s.graphTime = m_boxes[GraphTime]->currentIndex();
    s.timeFormat = m_boxes[TimeFormat]->currentIndex();
    s.dateFormat = m_boxes[DateFormat]->currentIndex();
    s.daylightSaving = m_boxes[Daylight]->currentIndex();
    s.timeZone = m_boxes[TimeZone]->currentIndex();
    s.unit = m_boxes[Unit]->currentIndex();
    s.masks = m_data.m_AreaMask;
    s.masks[static_cast<std::size_t>(AreaOf(m_boxes[Area]->currentIndex()))] = readChecks();
    return s;
}

void Setting::save()
{
    const SettingSelection selection = readSelection();
    saveAndClose(m_data.m_ScreenBusy, {SettingsFrame(selection)}, [this, selection] {
        m_data.m_SettingsPage.set(WrittenSettingsPage(m_data.m_SettingsPage.get(), selection));
    });
}

void Setting::OnSetInterval()
{
    const std::optional<int> minutes = ParseInterval(m_interval->text().toStdString());
    if (!minutes) {
        m_messages.inform(m_texts.Text(TextId::IntervalRange));
        return;
    }
    if (!m_link.Connected()) {
        m_messages.inform(m_texts.Text(TextId::Unconnected));
        return;
    }
    m_exchange.run(
        [&link = m_link, frame = CommandFrame::setInterval(static_cast<std::uint8_t>(*minutes))] {
            const Millis wait = link.timing().setInterval;
            return link.Write(frame, wait, wait);
        },
        [this, minutes = *minutes](bool sent) {
            if (!sent) {
                m_messages.inform(m_texts.Text(TextId::Unconnected));
                return;
            }
            m_data.m_IntervalMinutes = minutes;
            m_messages.inform(m_texts.Text(TextId::SetIntervalSuccess));
        });
}

void Setting::OnSyncTime()
{
    m_exchange.run([&link = m_link] { return SendClockIfConnected(link); },
                   [&messages = m_messages](bool sent) { TellClockSent(messages, sent); });
}

} // namespace nimbra
