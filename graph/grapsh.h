#pragma once

#include "picturefolder.h"
#include "recordstore.h"
#include "uitext.h"

#include <QDialog>
#include <QString>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>

class QComboBox;
class QDateEdit;
class QTimeEdit;

namespace nimbra {

class CTchart1;
class MessageService;

// Dialog resource 132: the readings of the record store over a chosen time range, in the
// temperature view (temperature, dew point, heat index) or the humidity view.
class Grapsh final : public QDialog
{
    Q_OBJECT
public:
    static constexpr int ResourceId = 132;
    static constexpr int StartLabelId = 1131;
    static constexpr int EndLabelId = 1132;
    static constexpr int StartDateId = 1040;
    static constexpr int StartTimeId = 1041;
    static constexpr int EndDateId = 1042;
    static constexpr int EndTimeId = 1043;
    static constexpr int ViewBoxId = 1006;
    static constexpr int SelectId = 1005;
    static constexpr int ExitId = 1037;
    static constexpr int ChartId = 1007;
    // Controls of this dialog beyond the template: three buttons and the source box.
    static constexpr int WholeLogId = 1050;
    static constexpr int ResetViewId = 1051;
    static constexpr int SavePictureId = 1052;
    static constexpr int SourceBoxId = 1053;

    enum View
    {
        TemperatureView = 0,
        HumidityView = 1
    };

    // unitLabel, such as "(°C)", titles the value axis of the temperature view.
    Grapsh(const UiText& texts, MessageService& messages, std::filesystem::path database,
           QString unitLabel, QWidget* parent = nullptr);
    ~Grapsh() override;

    // Texts, the last hour as the range, the temperature view; draws nothing.
    bool OnInitDialog();
    // Replaces the chart's content with the readings of the picked range and view.
    void DrawGraph();
    // Sets the pickers to the first and last valid time of the store, then draws.
    void ShowWholeLog();

    CTchart1* chart() const { return m_Chart; }

    // Where Save Picture starts and how it asks for the file; by default the run's folder and
    // the platform's file dialog.
    void SetPictureSaving(PictureFolder& folder, SaveFileChooser choose);

private:
    void buildControls();
    // true: pickers into the four values; false: the values into the pickers.
    void UpdateData(bool fromPickers);
    // The names a screen reader speaks; the controls without a label of their own first.
    void nameControls();
    // The columns of Series0, Series1, ... that the view fills.
    std::span<const std::string_view> SetUpTemperatureView();
    std::span<const std::string_view> SetUpHumidityView();
    // false: the source could not be read (said).
    bool FillSeries(std::span<const std::string_view> columns);
    void savePicture();
    // Says on the chart when the drawn span holds no reading, and where the source's readings
    // are when it was read.
    void explainEmptySpan(double start, double end, bool read);
    // The choice of the source box: the last import or a kind of the kept history.
    int source() const;
    // The title of the temperature axis for the source being drawn.
    QString drawnUnitLabel();
    // The first and last time of the source's readings (nullopt when it has none); false when
    // it cannot be read (said).
    bool readSpan(std::optional<std::pair<double, double>>& span);
    // The source's points over the range texts; false when they cannot be read (said).
    bool readSeries(std::span<const std::string_view> columns, SeriesSink& earlier,
                    SeriesSink& later);

    const UiText& m_texts;
    MessageService& m_messages;
    RecordStore m_Store;
    std::filesystem::path m_DatabasePath;
    QString m_UnitLabel;
    std::string m_startText;
    std::string m_endText;

    // OLE dates: the date parts at midnight, the time parts on the base day.
    double m_StartDate = 0.0;
    double m_StartTime = 0.0;
    double m_EndDate = 0.0;
    double m_EndTime = 0.0;

    PictureFolder* m_pictureFolder = &RunPictureFolder();
    SaveFileChooser m_choosePictureFile = ChoosePictureFile;

    CTchart1* m_Chart = nullptr;
    QComboBox* m_ViewBox = nullptr;
    QDateEdit* m_startDatePicker = nullptr;
    QTimeEdit* m_startTimePicker = nullptr;
    QDateEdit* m_endDatePicker = nullptr;
    QTimeEdit* m_endTimePicker = nullptr;
};

} // namespace nimbra
