#include "calib.h"

#include "accessiblenames.h"
#include "dialogitems.h"
#include "dialogparts.h"
#include "messageservice.h"
#include "uitext.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>

namespace nimbra {

namespace {

constexpr int TempUnit = 1077;

} // namespace

Calib::Calib(CalibData& data, HidLink& link, const UiText& texts, MessageService& messages,
             QWidget* parent)
    : SetupDialog(ResourceId, link, texts, messages, parent), m_data(data)
{
    buildControls();
    OnInitDialog();
}

void Calib::buildControls()
{
    auto* grid = new QGridLayout;
    grid->addWidget(NewLabel(this, TempLabelId), 0, 1, 1, 2, Qt::AlignHCenter);
    grid->addWidget(NewLabel(this, HumiLabelId), 0, 3, 1, 2, Qt::AlignHCenter);
    for (int c = 1; c <= ChannelCount; ++c) {
        const auto i = static_cast<std::size_t>(c - 1);
        m_temps[i] = new QLineEdit(this);
        SetItemId(m_temps[i], TempEdit + c - 1);
        m_humis[i] = new QLineEdit(this);
        SetItemId(m_humis[i], HumiEdit + c - 1);
        grid->addWidget(NewLabel(this, 0, QStringLiteral("CH%1:").arg(c)), c, 0);
        grid->addWidget(m_temps[i], c, 1);
        grid->addWidget(NewLabel(this, TempUnit + c - 1), c, 2);
        grid->addWidget(m_humis[i], c, 3);
        grid->addWidget(NewLabel(this, 0, QStringLiteral("%")), c, 4);
    }

    QList<QWidget*> order;
    for (std::size_t i = 0; i < m_temps.size(); ++i)
        order << m_temps[i] << m_humis[i];
    addSaveExitRow(grid, order, SaveId, ExitId);
}

bool Calib::OnInitDialog()
{
    const bool connected = showTitle(TextId::Calibration);
    item<QLabel>(this, TempLabelId)->setText(m_texts.Text(TextId::Temperature));
    item<QLabel>(this, HumiLabelId)->setText(m_texts.Text(TextId::Humidity));

    m_fahrenheit = m_link.Fahrenheit();
    const QString unit = m_fahrenheit ? QStringLiteral("\u00B0F") : QStringLiteral("\u00B0C");
    for (int c = 1; c <= ChannelCount; ++c)
        item<QLabel>(this, TempUnit + c - 1)->setText(unit);
    NameControls(this);

    m_OffsetPage = connected ? m_data.m_OffsetPage.get() : Page{};
    const CalibForm form = CalibFormFromPage(m_OffsetPage, m_fahrenheit);
    const CalibReadings& readings = m_data.m_Readings;
    for (int c = 1; c <= ChannelCount; ++c) {
        const auto i = static_cast<std::size_t>(c - 1);
        m_temps[i]->setText(QString::fromStdString(form.temps[i]));
        m_humis[i]->setText(QString::fromStdString(form.humis[i]));
        // An offset can be changed only for a channel that reports a value.
        m_temps[i]->setEnabled(readings.hasTemperature(c));
        m_humis[i]->setEnabled(readings.hasHumidity(c));
    }
    return true;
}

CalibForm Calib::readForm() const
{
    CalibForm form;
    for (std::size_t i = 0; i < m_temps.size(); ++i) {
        form.temps[i] = m_temps[i]->text().toStdString();
        form.humis[i] = m_humis[i]->text().toStdString();
    }
    return form;
}

void Calib::save()
{
    const CalibWrite write = CalibFrame(readForm(), m_OffsetPage, m_data.m_Readings, m_fahrenheit);
    if (write.check != CalibWrite::Check::Ok) {
        using Check = CalibWrite::Check;
        const TextId text = write.check == Check::TempOutOfRange   ? TextId::TempOutOfValue
                            : write.check == Check::HumiOutOfRange ? TextId::HumiOutOfValue
                                                                   : TextId::TempReadsAsNoValue;
        m_messages.inform(QStringLiteral(" CH%1 %2.").arg(write.channel).arg(m_texts.Text(text)));
        return;
    }
    saveAndClose(m_data.m_ScreenBusy, {*write.frame},
                 [this, page = write.page] { m_data.m_OffsetPage.set(page); });
}

} // namespace nimbra
