#pragma once

#include "setupdata.h"
#include "setupdialog.h"

#include <array>

class QLineEdit;

namespace nimbra {

// The Calibration dialog: the offsets the station adds to each channel's temperature and
// humidity, checked against the readings taken when the dialog was chosen.
class Calib final : public SetupDialog
{
    Q_OBJECT
public:
    static constexpr int ResourceId = 134;
    static constexpr int SaveId = 1005;
    static constexpr int ExitId = 1006;
    static constexpr int TempEdit = 1015;
    static constexpr int HumiEdit = 1024;
    static constexpr int TempLabelId = 1128;
    static constexpr int HumiLabelId = 1129;

    Calib(CalibData& data, HidLink& link, const UiText& texts, MessageService& messages,
          QWidget* parent = nullptr);

private:
    void buildControls();
    bool OnInitDialog();
    void save() override;
    CalibForm readForm() const;

    CalibData& m_data;

    Page m_OffsetPage{}; // as shown at opening
    bool m_fahrenheit = false;
    std::array<QLineEdit*, ChannelCount> m_temps{};
    std::array<QLineEdit*, ChannelCount> m_humis{};
};

} // namespace nimbra
