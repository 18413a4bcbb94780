#include "archivescan.h"

#include "archiveline.h"

#include "archive/archivepath.h"

#include <QFile>

namespace {

struct FileScan {
    const QDate& day;
    const ArchiveScan::LineVisit& visit;
    ScanSummary& summary;
    ArchiveLine line;

    void take(QByteArrayView bytes)
    {
        switch (line.parse(bytes)) {
        case ArchiveLine::Kind::Measurement:
            ++summary.lines;
            visit(day, line);
            break;
        case ArchiveLine::Kind::Header:
            break;
        case ArchiveLine::Kind::Unreadable:
            ++summary.unreadableLines;
            break;
        }
    }

    void read(QFile& file)
    {
        QByteArray buffer;
        bool skipping = false; // inside an overlong line, until its end
        for (;;) {
            const QByteArray chunk = file.read(ArchiveScan::kChunkSize);
            const bool end = chunk.isEmpty();
            buffer += chunk;
            qsizetype start = 0;
            for (qsizetype lf; (lf = buffer.indexOf('\n', start)) >= 0; start = lf + 1) {
                if (skipping)
                    skipping = false;
                else
                    take(QByteArrayView(buffer).sliced(start, lf + 1 - start));
            }
            buffer.remove(0, start);
            if (!skipping && buffer.size() > ArchiveScan::kMaxLineLength) {
                ++summary.unreadableLines;
                skipping = true;
            }
            if (skipping)
                buffer.clear();
            if (end) {
                if (!buffer.isEmpty())
                    take(buffer); // no line end: torn
                return;
            }
        }
    }
};

} // namespace

ScanSummary ArchiveScan::scan(const QString& root, int channel, const QDate& first,
                              const QDate& last, const LineVisit& visit, const Progress& progress)
{
    ScanSummary summary;
    if (!first.isValid() || !last.isValid() || first > last)
        return summary;
    summary.days = int(first.daysTo(last)) + 1;
    int done = 0;
    for (QDate day = first; day <= last; day = day.addDays(1), ++done) {
        if (progress && !progress(done, summary.days)) {
            summary.cancelled = true;
            return summary;
        }
        const QString folder = ArchivePath::dayFolder(root, day.year(), day.month(), day.day());
        QFile file(ArchivePath::filePath(folder, channel));
        if (!file.exists()) {
            ++summary.missingDays;
            continue;
        }
        if (!file.open(QIODevice::ReadOnly)) {
            ++summary.unopenedFiles;
            continue;
        }
        ++summary.filesRead;
        FileScan{day, visit, summary, {}}.read(file);
    }
    if (progress)
        progress(done, summary.days);
    return summary;
}
