#pragma once

#include "setupdata.h"
#include "setupdialog.h"

#include <array>

class QCheckBox;
class QComboBox;
class QLineEdit;

namespace nimbra {

// The Alarm dialog: high and low limits of temperature and humidity per channel, their enable
// switches and the two master switches. Shows the alarm pages the last poll fetched.
class Alarm final : public SetupDialog
{
    Q_OBJECT
public:
    static constexpr int ResourceId = 135;
    static constexpr int SaveId = 1;
    static constexpr int ExitId = 2;
    static constexpr int TempSwitchId = 1006;
    static constexpr int HumiSwitchId = 1007;
    static constexpr int TempHighCheck = 1104;
    static constexpr int TempLowCheck = 1112;
    static constexpr int HumiHighCheck = 1088;
    static constexpr int HumiLowCheck = 1096;
    static constexpr int TempHighEdit = 1015;
    static constexpr int TempLowEdit = 1024;
    static constexpr int HumiHighEdit = 1033;
    static constexpr int HumiLowEdit = 1042;
    static constexpr int TempGroupId = 1120;
    static constexpr int HumiGroupId = 1121;
    static constexpr int TempSwitchLabelId = 1122;
    static constexpr int HumiSwitchLabelId = 1123;
    static constexpr int TempHighLabelId = 1124;
    static constexpr int TempLowLabelId = 1125;
    static constexpr int HumiHighLabelId = 1126;
    static constexpr int HumiLowLabelId = 1127;
    // The unit labels beside CH1's temperature limits; the other channels' follow.
    static constexpr int TempUnitHigh = 1059;
    static constexpr int TempUnitLow = 1068;

    Alarm(AlarmData& data, HidLink& link, const UiText& texts, MessageService& messages,
          QWidget* parent = nullptr);

private:
    // One side of the dialog: temperature or humidity.
    struct Group
    {
        QComboBox* master = nullptr;
        std::array<QCheckBox*, 2 * ChannelCount> checks{}; // CH1 high, CH1 low, ...
        std::array<QLineEdit*, 2 * ChannelCount> edits{};
    };

    void buildControls();
    QWidget* buildGroup(Group& group, bool humidity);
    bool OnInitDialog();
    void save() override;
    void applySwitch(const Group& group);
    AlarmForm readForm() const;

    AlarmData& m_data;

    AlarmPages m_pages{}; // as shown at opening
    bool m_fahrenheit = false;
    Group m_temp;
    Group m_humi;
};

} // namespace nimbra
