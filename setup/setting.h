#pragma once

#include "setupdata.h"
#include "setupdialog.h"

#include <array>

class QCheckBox;
class QComboBox;
class QLineEdit;

namespace nimbra {

// The Setup dialog: the station's formats, unit, time zone, daylight saving, the quantities of
// its five channel areas, and the logging interval. Shows what the last poll fetched.
class Setting final : public SetupDialog
{
    Q_OBJECT
public:
    static constexpr int ResourceId = 129;
    static constexpr int SaveId = 1005;
    static constexpr int ExitId = 1037;
    static constexpr int SetIntervalId = 1087;
    static constexpr int SyncTimeId = 1086;
    static constexpr int IntervalEditId = 1039;
    static constexpr int AreaBoxId = 1038;
    static constexpr int GraphTypeBoxId = 1006;
    static constexpr int GraphTimeBoxId = 1007;
    static constexpr int TimeFormatBoxId = 1008;
    static constexpr int DateFormatBoxId = 1009;
    static constexpr int DaylightBoxId = 1010;
    static constexpr int TimeZoneBoxId = 1011;
    static constexpr int UnitBoxId = 1012;
    static constexpr int GraphTypeLabelId = 1089;
    static constexpr int GraphTimeLabelId = 1090;
    static constexpr int TimeZoneLabelId = 1091;
    static constexpr int IntervalLabelId = 1092;
    static constexpr int TimeFormatLabelId = 1093;
    static constexpr int DateFormatLabelId = 1094;
    static constexpr int UnitLabelId = 1095;
    static constexpr int MinuteLabelId = 1096;
    // The row labels of the channel ticks, one per quantity.
    static constexpr int TemperatureRowId = 1097;
    static constexpr int DewPointRowId = 1098;
    static constexpr int HeatIndexRowId = 1099;

    static constexpr int CheckBoxId(int channel, int quantity)
    {
        return 1013 + (channel - 1) + 8 * quantity;
    }

    Setting(SettingData& data, HidLink& link, const UiText& texts, MessageService& messages,
            QWidget* parent = nullptr);

private:
    void buildControls();
    bool OnInitDialog();
    void OnAreaChanged();
    void save() override;
    void OnSetInterval();
    // The hidden Sync Time button: the clock without a question or the screen check.
    void OnSyncTime();

    SettingSelection readSelection() const;
    std::uint32_t readChecks() const;
    void showMask(std::uint32_t mask, bool areaOne);

    SettingData& m_data;

    int m_ShownArea = 0;
    bool m_Initialising = false;

    // GraphTypeBoxId..UnitBoxId in id order, then the area box.
    std::array<QComboBox*, 8> m_boxes{};
    std::array<QCheckBox*, ChannelCount * QuantityCount> m_checks{};
    QLineEdit* m_interval = nullptr;
};

} // namespace nimbra
