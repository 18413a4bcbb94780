#include "csvexport.h"

#include "archivecolumns.h"
#include "archiveday.h"
#include "archiveline.h"

#include "model/codepage1251.h"

#include <QIODevice>
#include <QSaveFile>
#include <optional>

namespace {
constexpr qsizetype kFlushSize = 256 * 1024;
const QByteArray kByteOrderMark = QByteArrayLiteral("\xEF\xBB\xBF");

QByteArray numberField(QByteArrayView text)
{
    QByteArray out = text.toByteArray();
    out.replace(',', '.');
    return out;
}
} // namespace

QByteArray CsvExport::field(const QByteArray& utf8)
{
    if (!utf8.contains(',') && !utf8.contains('"') && !utf8.contains('\r') && !utf8.contains('\n'))
        return utf8;
    QByteArray quoted = utf8;
    quoted.replace('"', QByteArrayLiteral("\"\""));
    return '"' + quoted + '"';
}

QByteArray CsvExport::headerLine(const QList<int>& columns)
{
    QByteArray line = field(QStringLiteral("Время").toUtf8());
    for (int column : columns)
        line += ',' + field(ArchiveColumns::title(column).toUtf8());
    return line + "\r\n";
}

CsvResult CsvExport::write(QIODevice& out, const CsvRequest& request,
                           const ArchiveScan::Progress& progress)
{
    CsvResult result;
    QByteArray pending = request.byteOrderMark ? kByteOrderMark : QByteArray();
    pending += headerLine(request.columns);
    bool failed = false;
    const auto flush = [&] {
        if (!failed && out.write(pending) != pending.size()) {
            failed = true;
            result.error = out.errorString();
        }
        pending.clear();
    };

    std::optional<ArchiveDay> day;
    const auto visit = [&](const QDate& date, const ArchiveLine& line) {
        if (!day || day->date() != date)
            day.emplace(date);
        pending += day->isoText(line.secondOfDay());
        for (int column : request.columns) {
            pending += ',';
            if (line.isEmpty(column))
                continue;
            if (ArchiveColumns::isNumber(column))
                pending += numberField(line.field(column));
            else
                pending += field(fromCp1251(line.field(column).toByteArray()).toUtf8());
        }
        pending += "\r\n";
        if (pending.size() >= kFlushSize)
            flush();
    };
    // A failed write stops the walk at the next day.
    const ArchiveScan::Progress checked = [&](int done, int total) {
        return !failed && (!progress || progress(done, total));
    };
    result.summary = ArchiveScan::scan(request.root, request.channel, request.first, request.last,
                                       visit, checked);
    flush();
    if (result.summary.cancelled && result.error.isEmpty() && !failed)
        result.error = QStringLiteral("cancelled");
    return result;
}

CsvResult CsvExport::writeFile(const QString& path, const CsvRequest& request,
                               const ArchiveScan::Progress& progress)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        CsvResult result;
        result.error = file.errorString();
        return result;
    }
    CsvResult result = write(file, request, progress);
    if (!result.error.isEmpty()) {
        file.cancelWriting();
        return result;
    }
    if (!file.commit())
        result.error = file.errorString();
    return result;
}
