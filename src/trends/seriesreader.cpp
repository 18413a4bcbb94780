#include "seriesreader.h"

#include "archiveday.h"
#include "archiveline.h"
#include "minmaxdecimator.h"

#include <optional>
#include <vector>

TrendData SeriesReader::read(const TrendRequest& request, const ArchiveScan::Progress& progress)
{
    const qint64 from = request.from.toMSecsSinceEpoch();
    const qint64 to = request.to.toMSecsSinceEpoch();
    std::vector<MinMaxDecimator> decimators;
    decimators.reserve(size_t(request.columns.size()));
    for (qsizetype i = 0; i < request.columns.size(); ++i)
        decimators.emplace_back(from, to, request.buckets);

    std::optional<ArchiveDay> day;
    const auto visit = [&](const QDate& date, const ArchiveLine& line) {
        if (!day || day->date() != date)
            day.emplace(date);
        const qint64 x = day->msecsSinceEpoch(line.secondOfDay());
        for (qsizetype i = 0; i < request.columns.size(); ++i)
            decimators[size_t(i)].add(x, line.number(request.columns[i]));
    };
    TrendData data;
    data.summary = ArchiveScan::scan(request.root, request.channel, request.from.date(),
                                     request.to.date(), visit, progress);
    for (const MinMaxDecimator& decimator : decimators)
        data.series.append(decimator.points());
    return data;
}
