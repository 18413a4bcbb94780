// An archive file of any content, as a day's file of a row, read back both
// ways the measurements page and kx7r-export read it: the trend and the CSV.
// Every measurement line gives one CSV record; nothing else may.
#include "../fuzzapplication.h"

#include "archive/archivepath.h"
#include "trends/archivecolumns.h"
#include "trends/csvexport.h"
#include "trends/seriesreader.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    startFuzzApplication(true);
    static QTemporaryDir dir;
    static const QDate day(2024, 6, 15);
    static const QString path = [] {
        const QString folder =
            ArchivePath::dayFolder(dir.path(), day.year(), day.month(), day.day());
        QDir().mkpath(folder);
        return ArchivePath::filePath(folder, 1);
    }();
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        std::abort();
    file.write(reinterpret_cast<const char*>(data), qint64(size));
    file.close();

    TrendRequest trend;
    trend.root = dir.path();
    trend.channel = 1;
    trend.from = day.startOfDay();
    trend.to = day.endOfDay();
    trend.columns = {ArchiveColumns::indexOf(QStringLiteral("Уровень S1, мм")),
                     ArchiveColumns::indexOf(QStringLiteral("АЦП"))};
    trend.buckets = 50;
    const TrendData read = SeriesReader::read(trend);
    for (const QList<QPointF>& points : read.series)
        if (points.size() > 2 * trend.buckets)
            std::abort();

    CsvRequest csv;
    csv.root = dir.path();
    csv.channel = 1;
    csv.first = csv.last = day;
    csv.columns = ArchiveColumns::allButTime();
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    const CsvResult result = CsvExport::write(out, csv);
    // The last column is a number, so a record's CR LF is never inside a field.
    if (out.data().count("\r\n") != 1 + result.summary.lines ||
        result.summary.lines != read.summary.lines)
        std::abort();
    return 0;
}
