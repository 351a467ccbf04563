#include "recordexport.h"

#include "logdate.h"
#include "oledate.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

namespace nimbra {

namespace {

void AppendValue(std::string& line, float value)
{
    line += ',';
    if (value == float(NoValue))
        return;
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, value).ptr;
    line.append(text, end);
}

// The store keeps whatever number a log held; one beyond the integer range is clamped, since
// converting it would be undefined.
std::int32_t HumidityFrom(double stored)
{
    if (std::isnan(stored))
        return NoValue;
    using Limits = std::numeric_limits<std::int32_t>;
    return static_cast<std::int32_t>(
        std::clamp(stored, double(Limits::min()), double(Limits::max())));
}

} // namespace

const char* const ExportHeader = "Time,Temperature,Humidity,DewPoint,HeatIndex";

std::string FormatExportLine(const RecordRow& row)
{
    std::string line;
    if (row.Time != NotADate && row.Time != DateOutOfRange) {
        const DateTimeParts t = FromOleDate(row.Time);
        char time[48];
        std::snprintf(time, sizeof time, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day,
                      t.hour, t.minute, t.second);
        line = time;
    }
    AppendValue(line, row.Temperature);
    line += ',';
    if (row.Humidity != NoValue)
        line += std::to_string(row.Humidity);
    AppendValue(line, row.Dewpoint);
    AppendValue(line, row.Heatindex);
    return line;
}

long ExportRecords(RecordStore& store, double from, double to, QIODevice& out)
{
    if (store.SelectStored(from, to) != 0)
        return SelectionFailed;
    const auto put = [&out](std::string line) {
        line += '\n';
        return out.write(line.data(), static_cast<qint64>(line.size())) ==
               static_cast<qint64>(line.size());
    };
    if (!put(ExportHeader))
        return WriteFailed;
    long rows = 0;
    for (; !store.AtEnd(); store.MoveNext(), ++rows) {
        const RecordRow row{store.ReadDate("Time"), store.ReadFloat("Temperature"),
                            HumidityFrom(store.ReadDate("Humidity")), store.ReadFloat("Dewpoint"),
                            store.ReadFloat("Heatindex")};
        if (!put(FormatExportLine(row)))
            return WriteFailed;
    }
    return rows;
}

ExportTarget::ExportTarget(const QString& file, std::FILE* stream)
    : m_toFile(!file.isEmpty()), m_streamHandle(stream), m_file(file)
{
}

bool ExportTarget::open()
{
    return m_toFile ? m_file.open(QIODevice::WriteOnly)
                    : m_stream.open(m_streamHandle, QIODevice::WriteOnly);
}

bool ExportTarget::commit()
{
    return m_toFile ? m_file.commit() : m_stream.flush();
}

QString ExportTarget::name() const
{
    return m_toFile ? m_file.fileName() : QStringLiteral("the output");
}

} // namespace nimbra
