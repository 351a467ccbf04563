#include "archiverebuild.h"

#include "archive.h"
#include "cfile.h"
#include "logline.h"
#include "logparser.h"

#include <QString>
#include <algorithm>
#include <vector>

namespace nimbra {

namespace {

// Local copies carry the station's name, one byte a character.
std::vector<std::pair<std::string, std::filesystem::path>>
LocalCopies(const std::filesystem::path& folder)
{
    std::vector<std::pair<std::string, std::filesystem::path>> copies;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        const QString name = QString::fromStdU16String(entry.path().filename().u16string());
        if (entry.is_regular_file() && name.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive))
            copies.emplace_back(name.toLatin1().toStdString(), entry.path());
    }
    std::sort(copies.begin(), copies.end());
    return copies;
}

// A copy is read in the date order its file remembers, else in the rebuild's.
std::int64_t KeepCopy(Archive& archive, const std::filesystem::path& copy, const std::string& name,
                      const RememberedDateOrders& remembered, DateOrder fallback)
{
    const CFile file = OpenCFile(copy, "rb");
    if (!file)
        throw StoreError("cannot read " + name);
    const bool indoor = IsIndoorFileName(name);
    DateOrder order = fallback;
    if (const auto found = remembered.find({name, indoor}); found != remembered.end())
        order = DateOrderFromName(found->second);
    if (order != DateOrder::MonthDayYear && order != DateOrder::DayMonthYear)
        order = fallback;
    ParsingThread parser(file.get(), true, indoor, order);
    ArchiveWriter writer(archive.connection(), name, indoor, std::string(DateOrderName(order)));
    while (auto batch = parser.pipe().pop()) {
        for (const ParsedLine& line : *batch)
            writer.add({line.row, line.fahrenheit}, line.hash, line.whole);
        parser.pipe().giveBack(std::move(*batch));
    }
    const ParsingThread::Outcome& outcome = parser.finish();
    if (outcome.failure || outcome.lines.end != LinesRead::End::Done)
        throw StoreError("cannot read " + name);
    return writer.finish(outcome.unitLabel.toStdString()).added;
}

} // namespace

RebuildResult RebuildArchive(const std::filesystem::path& folder,
                             const std::filesystem::path& archive, DateOrder order,
                             const RebuildProgress& progress)
{
    if (order != DateOrder::MonthDayYear && order != DateOrder::DayMonthYear)
        order = SystemDateOrder();
    const auto copies = LocalCopies(folder);
    Archive kept(archive);
    const RememberedDateOrders remembered = kept.BeginRewrite();
    RebuildResult result;
    for (const auto& [name, path] : copies) {
        progress(name, ++result.files, copies.size());
        result.readings += KeepCopy(kept, path, name, remembered, order);
    }
    kept.Commit();
    return result;
}

} // namespace nimbra
