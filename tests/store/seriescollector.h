#pragma once

#include "recordstore.h"

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace nimbra::test {

// The points of one series as a pass delivers them.
struct CollectedPoints
{
    std::vector<double> times;
    std::vector<double> values;
};

class SeriesCollector final : public SeriesSink
{
public:
    explicit SeriesCollector(std::size_t count) : series(count) {}

    void reserve(std::size_t) override {}
    void add(std::size_t index, double time, double value) override
    {
        series[index].times.push_back(time);
        series[index].values.push_back(value);
    }
    void clear() override { series.assign(series.size(), {}); }

    std::vector<CollectedPoints> series;
};

// One pass over the range: per series, the earlier part's points and then the later part's.
inline int ReadSeries(RecordStore& store, const std::string& start, const std::string& end,
                      std::span<const std::string_view> columns,
                      std::vector<CollectedPoints>& series)
{
    SeriesCollector earlier(columns.size());
    SeriesCollector later(columns.size());
    const int result = store.ReadSeries(start, end, columns, earlier, later);
    series = std::move(earlier.series);
    for (std::size_t i = 0; i < series.size(); ++i) {
        const CollectedPoints& rest = later.series[i];
        series[i].times.insert(series[i].times.end(), rest.times.begin(), rest.times.end());
        series[i].values.insert(series[i].values.end(), rest.values.begin(), rest.values.end());
    }
    return result;
}

} // namespace nimbra::test
