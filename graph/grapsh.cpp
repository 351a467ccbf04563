#include "grapsh.h"

#include "accessiblenames.h"
#include "archive.h"
#include "chartpoints.h"
#include "dialogitems.h"
#include "keyboard.h"
#include "messageservice.h"
#include "oledate.h"
#include "oletime.h"
#include "tchart1.h"

#include <QComboBox>
#include <QDateEdit>
#include <QDateTime>
#include <QDir>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QTimeEdit>
#include <QTimeZone>
#include <QVBoxLayout>
#include <array>
#include <cmath>
#include <vector>

namespace nimbra {

namespace {

constexpr std::array<std::string_view, 3> TemperatureColumns{"Temperature", "DewPoint",
                                                             "Heatindex"};
constexpr std::string_view HumidityColumn = "Humidity";

// What the graph draws from: the last import (the record store) or one kind of readings of
// the kept history of every import.
enum Source
{
    LastImportSource = 0,
    OutdoorArchiveSource = 1,
    IndoorArchiveSource = 2
};

// The kept history beside the store; nullopt for a data folder that has seen no import, whose
// history holds nothing and is not created by a look. Throws StoreError.
std::optional<Archive> OpenHistory(const std::filesystem::path& store)
{
    const std::filesystem::path file = ArchivePathBeside(store);
    std::error_code missing;
    if (!std::filesystem::exists(file, missing))
        return std::nullopt;
    return std::optional<Archive>(std::in_place, file);
}

// Readings stamped 0.0 or -1.0 (unparsable times) lie before any date the pickers offer, so
// no range that a user picks can hold them.
const QDate EarliestPickable(1900, 1, 1);
// The time pickers' values are times of day on the day OLE dates count from.
const QDate OleBaseDate(1899, 12, 30);

QDateEdit* DatePicker(QWidget* parent, int id)
{
    auto* picker = new QDateEdit(parent);
    SetItemId(picker, id);
    QString format = QLocale().dateFormat(QLocale::ShortFormat);
    if (!format.contains(QLatin1String("yyyy")))
        format.replace(QLatin1String("yy"), QLatin1String("yyyy"));
    picker->setDisplayFormat(format);
    picker->setMinimumDate(EarliestPickable);
    picker->setAlignment(Qt::AlignRight);
    return picker;
}

QTimeEdit* TimePicker(QWidget* parent, int id)
{
    auto* picker = new QTimeEdit(parent);
    SetItemId(picker, id);
    picker->setDisplayFormat(QStringLiteral("HH:mm:ss"));
    picker->setAlignment(Qt::AlignRight);
    return picker;
}

QPushButton* Button(QWidget* parent, int id)
{
    auto* button = new QPushButton(parent);
    SetItemId(button, id);
    return button;
}

double NowOle(qint64 secondsAgo)
{
    const QDateTime now = QDateTime::currentDateTime().addSecs(-secondsAgo);
    return OleDateFrom(now.date(), now.time());
}

double DatePart(double oleDate)
{
    return OleDateFrom(OleCalendarDate(oleDate), QTime(0, 0));
}

double TimePart(double oleDate)
{
    return OleDateFrom(OleBaseDate, OleTimeOfDay(oleDate));
}

double Combine(double datePart, double timePart)
{
    return OleDateFrom(OleCalendarDate(datePart), OleTimeOfDay(timePart));
}

} // namespace

Grapsh::Grapsh(const UiText& texts, MessageService& messages, std::filesystem::path database,
               QString unitLabel, QWidget* parent)
    : QDialog(parent), m_texts(texts), m_messages(messages), m_Store(messages),
      m_DatabasePath(std::move(database)), m_UnitLabel(std::move(unitLabel))
{
    const double now = NowOle(0);
    m_StartDate = m_EndDate = DatePart(now);
    m_StartTime = m_EndTime = TimePart(now);
    buildControls();
    OnInitDialog();
}

Grapsh::~Grapsh() = default;

void Grapsh::buildControls()
{
    SetItemId(this, ResourceId);
    ModalToItsWindow(this);
    auto* startLabel = new QLabel(this);
    SetItemId(startLabel, StartLabelId);
    auto* endLabel = new QLabel(this);
    SetItemId(endLabel, EndLabelId);
    m_startDatePicker = DatePicker(this, StartDateId);
    m_startTimePicker = TimePicker(this, StartTimeId);
    m_endDatePicker = DatePicker(this, EndDateId);
    m_endTimePicker = TimePicker(this, EndTimeId);
    m_ViewBox = new QComboBox(this);
    SetItemId(m_ViewBox, ViewBoxId);
    auto* select = Button(this, SelectId);
    auto* exit = Button(this, ExitId);
    auto* wholeLog = Button(this, WholeLogId);
    auto* resetView = Button(this, ResetViewId);
    auto* savePicture = Button(this, SavePictureId);
    auto* sourceBox = new QComboBox(this);
    SetItemId(sourceBox, SourceBoxId);
    m_Chart = new CTchart1(this);
    SetItemId(m_Chart, ChartId);
    startLabel->setBuddy(m_startDatePicker);
    endLabel->setBuddy(m_endDatePicker);
    // Enter in a picker draws the range.
    ButtonsTakeEnter(this, select);

    auto* range = new QGridLayout;
    range->addWidget(startLabel, 0, 0);
    range->addWidget(m_startDatePicker, 0, 1);
    range->addWidget(m_startTimePicker, 0, 2);
    range->addWidget(endLabel, 1, 0);
    range->addWidget(m_endDatePicker, 1, 1);
    range->addWidget(m_endTimePicker, 1, 2);
    range->addWidget(m_ViewBox, 0, 3);
    range->setColumnMinimumWidth(3, 140);
    range->setColumnStretch(4, 1);
    auto* commands = new QHBoxLayout;
    commands->addWidget(select);
    commands->addWidget(exit);
    range->addLayout(commands, 0, 5, Qt::AlignRight);
    auto* viewCommands = new QHBoxLayout;
    viewCommands->addWidget(sourceBox);
    viewCommands->addWidget(wholeLog);
    viewCommands->addWidget(resetView);
    viewCommands->addWidget(savePicture);
    range->addLayout(viewCommands, 1, 3, 1, 3, Qt::AlignRight);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(range);
    layout->addWidget(m_Chart, 1);

    connect(select, &QPushButton::clicked, this, &Grapsh::DrawGraph);
    connect(exit, &QPushButton::clicked, this, &QDialog::reject);
    connect(wholeLog, &QPushButton::clicked, this, &Grapsh::ShowWholeLog);
    connect(resetView, &QPushButton::clicked, m_Chart, &CTchart1::ResetView);
    connect(savePicture, &QPushButton::clicked, this, &Grapsh::savePicture);
    // A new choice of what or whence to draw shows at once, not at the next Select.
    connect(sourceBox, &QComboBox::activated, this, &Grapsh::DrawGraph);
    connect(m_ViewBox, &QComboBox::activated, this, &Grapsh::DrawGraph);
}

bool Grapsh::OnInitDialog()
{
    setWindowTitle(m_texts.Text(TextId::Graph));
    item<QLabel>(this, StartLabelId)->setText(m_texts.Text(TextId::StartTime));
    item<QLabel>(this, EndLabelId)->setText(m_texts.Text(TextId::EndTime));
    item<QPushButton>(this, SelectId)->setText(m_texts.Text(TextId::Select));
    item<QPushButton>(this, ExitId)->setText(m_texts.Text(TextId::Exit));
    item<QPushButton>(this, WholeLogId)->setText(m_texts.Text(TextId::WholeLog));
    item<QPushButton>(this, ResetViewId)->setText(m_texts.Text(TextId::ResetView));
    item<QPushButton>(this, SavePictureId)->setText(m_texts.Text(TextId::SavePicture));

    const double hourAgo = NowOle(3600);
    m_StartDate = DatePart(hourAgo);
    m_StartTime = TimePart(hourAgo);
    UpdateData(false);
    // The empty chart already shows the range on offer.
    m_Chart->SetTimeRange(Combine(m_StartDate, m_StartTime), Combine(m_EndDate, m_EndTime));

    m_ViewBox->clear();
    m_ViewBox->insertItem(TemperatureView, m_texts.Text(TextId::Temperature));
    m_ViewBox->insertItem(HumidityView, m_texts.Text(TextId::Humidity));
    m_ViewBox->setCurrentIndex(TemperatureView);
    auto* sourceBox = item<QComboBox>(this, SourceBoxId);
    sourceBox->clear();
    sourceBox->insertItem(LastImportSource, m_texts.Text(TextId::LastImport));
    sourceBox->insertItem(OutdoorArchiveSource, m_texts.Text(TextId::ArchiveOutdoor));
    sourceBox->insertItem(IndoorArchiveSource, m_texts.Text(TextId::ArchiveIndoor));
    sourceBox->setAccessibleName(m_texts.Text(TextId::GraphSource));
    sourceBox->setToolTip(m_texts.Text(TextId::GraphSource));
    nameControls();
    return true;
}

void Grapsh::nameControls()
{
    // Each range's label is the buddy of its date; its time belongs to the same label.
    m_startTimePicker->setAccessibleName(m_texts.Text(TextId::StartTime));
    m_endTimePicker->setAccessibleName(m_texts.Text(TextId::EndTime));
    m_ViewBox->setAccessibleName(m_texts.Text(TextId::GraphType));
    NameControls(this);
}

void Grapsh::UpdateData(bool fromPickers)
{
    if (fromPickers) {
        m_StartDate = OleDateFrom(m_startDatePicker->date(), QTime(0, 0));
        m_StartTime = OleDateFrom(OleBaseDate, m_startTimePicker->time());
        m_EndDate = OleDateFrom(m_endDatePicker->date(), QTime(0, 0));
        m_EndTime = OleDateFrom(OleBaseDate, m_endTimePicker->time());
        return;
    }
    m_startDatePicker->setDate(OleCalendarDate(m_StartDate));
    m_startTimePicker->setTime(OleTimeOfDay(m_StartTime));
    m_endDatePicker->setDate(OleCalendarDate(m_EndDate));
    m_endTimePicker->setTime(OleTimeOfDay(m_EndTime));
}

// Titles and in-use flags of the temperature view.
std::span<const std::string_view> Grapsh::SetUpTemperatureView()
{
    m_Chart->SetTitleText(m_texts.Text(TextId::Temperature));
    m_Chart->SetSeriesTitle(0, m_texts.Text(TextId::Temperature));
    m_Chart->SetSeriesTitle(1, m_texts.Text(TextId::DewPoint));
    m_Chart->SetSeriesTitle(2, m_texts.Text(TextId::HeatIndex));
    m_Chart->SetSeriesInUse(1, true);
    m_Chart->SetSeriesInUse(2, true);
    m_Chart->SetSeriesInUse(3, false);
    m_Chart->SetValueAxisTitle(drawnUnitLabel());
    return TemperatureColumns;
}

std::span<const std::string_view> Grapsh::SetUpHumidityView()
{
    m_Chart->SetTitleText(m_texts.Text(TextId::Humidity));
    m_Chart->SetSeriesTitle(0, m_texts.Text(TextId::Humidity));
    for (int series = 1; series < CTchart1::SeriesCount; ++series)
        m_Chart->SetSeriesInUse(series, false);
    m_Chart->SetValueAxisTitle(QStringLiteral(" (%)"));
    return {&HumidityColumn, 1};
}

void Grapsh::DrawGraph()
{
    UpdateData(true);
    const double start = Combine(m_StartDate, m_StartTime);
    const double end = Combine(m_EndDate, m_EndTime);
    m_startText = FormatRangeTime(FromOleDate(start));
    m_endText = FormatRangeTime(FromOleDate(end));
    if (end < start) {
        m_messages.error(m_texts.Text(TextId::TimeError));
        return;
    }

    m_Chart->ClearAllSeries();
    m_Chart->SetNotice({});
    m_Chart->SetValueAxisAutomatic(false);
    m_Chart->SetTimeRange(start, end);
    const int view = m_ViewBox->currentIndex();
    if (view != TemperatureView && view != HumidityView) {
        m_Chart->replot();
        return;
    }

    const bool read =
        FillSeries(view == TemperatureView ? SetUpTemperatureView() : SetUpHumidityView());
    m_Chart->SetValueAxisAutomatic(true);
    explainEmptySpan(start, end, read);
    m_Chart->replot();
}

int Grapsh::source() const
{
    return item<QComboBox>(this, SourceBoxId)->currentIndex();
}

// The history shows every temperature in the unit of its latest reading; the last import in
// its file's.
QString Grapsh::drawnUnitLabel()
{
    if (source() == LastImportSource)
        return m_UnitLabel;
    try {
        std::optional<Archive> history = OpenHistory(m_DatabasePath);
        if (const std::optional<bool> fahrenheit =
                history ? history->LatestUnitIsFahrenheit() : std::nullopt)
            return *fahrenheit ? QStringLiteral("(\u00B0F)") : QStringLiteral("(\u00B0C)");
    } catch (const StoreError&) {
        // The drawing that follows opens it as well and says why it cannot.
    }
    return m_UnitLabel;
}

bool Grapsh::readSpan(std::optional<std::pair<double, double>>& span)
{
    const int drawn = source();
    if (drawn == LastImportSource) {
        if (m_Store.Open(m_DatabasePath) < 0)
            return false;
        span = m_Store.ValidTimeSpan();
        return true;
    }
    try {
        if (std::optional<Archive> history = OpenHistory(m_DatabasePath))
            span = history->Span(drawn == IndoorArchiveSource);
        return true;
    } catch (const StoreError& error) {
        m_messages.inform(QString::fromStdString(error.what()));
        return false;
    }
}

void Grapsh::explainEmptySpan(double start, double end, bool read)
{
    for (int series = 0; series < CTchart1::SeriesCount; ++series) {
        if (m_Chart->SeriesInUse(series) && !m_Chart->graph(series)->data()->isEmpty())
            return;
    }
    const auto shown = [](double ole) { return AxisTimeText(AxisKeyFromOle(ole)); };
    QString notice =
        m_texts.Text(TextId::NoReadings).arg(shown(start), shown(end)) + QLatin1Char('\n');
    // The source has shown its message if it cannot be read; the chart then says only the first.
    std::optional<std::pair<double, double>> span;
    if (!read || !readSpan(span)) {
        m_Chart->SetNotice(notice.trimmed());
        return;
    }
    if (span)
        notice += m_texts.Text(TextId::StoreSpan).arg(shown(span->first), shown(span->second));
    else
        notice += m_texts.Text(source() == LastImportSource ? TextId::NothingImported
                                                            : TextId::NothingKept);
    m_Chart->SetNotice(notice);
}

// All series of the view come from one pass over the range, each with exactly the rows its
// own count and selection would give. A failure leaves the series empty and the drawing goes
// on: the source has shown why.
bool Grapsh::FillSeries(std::span<const std::string_view> columns)
{
    ChartPoints points(columns.size());
    ChartPoints later(columns.size());
    if (!readSeries(columns, points, later))
        return false;
    points.append(later);
    // The history spans months of files with days between them; one file is drawn as it is.
    const bool history = source() != LastImportSource;
    for (std::size_t i = 0; i < columns.size(); ++i) {
        QVector<QCPGraphData> series = history ? BreakAtGaps(points.take(i)) : points.take(i);
        if (!series.isEmpty())
            m_Chart->LoadSeries(static_cast<int>(i), std::move(series));
    }
    return true;
}

// The history is read over the same bounds as the store: those of the range texts.
bool Grapsh::readSeries(std::span<const std::string_view> columns, SeriesSink& earlier,
                        SeriesSink& later)
{
    const int drawn = source();
    if (drawn == LastImportSource)
        return m_Store.Open(m_DatabasePath) == 0 &&
               m_Store.ReadSeries(m_startText, m_endText, columns, earlier, later) == 0;
    const std::optional<double> from = ParseRangeTime(m_startText);
    const std::optional<double> to = ParseRangeTime(m_endText);
    if (!from || !to)
        return false;
    std::string failure;
    try {
        if (std::optional<Archive> history = OpenHistory(m_DatabasePath))
            failure = history->ReadSeries(drawn == IndoorArchiveSource, columns, *from, *to,
                                          earlier, later);
    } catch (const StoreError& error) {
        failure = error.what();
    }
    if (failure.empty())
        return true;
    m_messages.inform(QString::fromStdString(failure));
    return false;
}

void Grapsh::ShowWholeLog()
{
    std::optional<std::pair<double, double>> span;
    if (!readSpan(span))
        return;
    if (!span) {
        m_messages.inform(m_texts.Text(TextId::NoValidTime));
        return;
    }
    // Whole seconds around the span, one to spare on each side: the start is exclusive, and the
    // pickers hold no fractions of a second. A stamp within a millisecond of a whole second (an
    // OLE date rarely holds one exactly) counts as that second.
    constexpr double Slack = 0.001;
    const auto first = static_cast<qint64>(std::floor(AxisKeyFromOle(span->first) + Slack)) - 1;
    const auto last = static_cast<qint64>(std::ceil(AxisKeyFromOle(span->second) - Slack)) + 1;
    const QDateTime start = QDateTime::fromSecsSinceEpoch(first, QTimeZone::utc());
    const QDateTime end = QDateTime::fromSecsSinceEpoch(last, QTimeZone::utc());
    m_startDatePicker->setDate(start.date());
    m_startTimePicker->setTime(start.time());
    m_endDatePicker->setDate(end.date());
    m_endTimePicker->setTime(end.time());
    DrawGraph();
}

void Grapsh::SetPictureSaving(PictureFolder& folder, SaveFileChooser choose)
{
    m_pictureFolder = &folder;
    m_choosePictureFile = std::move(choose);
}

void Grapsh::savePicture()
{
    const QString suggested =
        QDir(m_pictureFolder->start()).filePath(windowTitle() + QStringLiteral(".png"));
    const QString path = m_choosePictureFile(this, m_texts.Text(TextId::SavePicture), suggested);
    if (path.isEmpty())
        return;
    if (!m_Chart->SavePicture(path)) {
        m_messages.inform(m_texts.Text(TextId::SaveFailed));
        return;
    }
    m_pictureFolder->saved(path);
}

} // namespace nimbra
