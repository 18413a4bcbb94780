#pragma once

#include "archivescan.h"

#include <QByteArray>
#include <QDate>
#include <QList>
#include <QString>

class QIODevice;

struct CsvRequest {
    QString root;    // the archive root (HistoryFolder)
    int channel = 0; // poll-list row number 1..30
    QDate first;     // both days included
    QDate last;
    QList<int> columns; // archive column indexes in archive order, without the time of day
    bool byteOrderMark = false;
};

struct CsvResult {
    ScanSummary summary;
    QString error; // empty: everything was written
};

// A row's archive over whole days as CSV (RFC 4180): comma-separated, UTF-8,
// CR LF, a header row. The first column "Время" is the file's day and the
// line's time as ISO 8601 local time with its offset; then the chosen columns
// by their archive titles, numbers always with a decimal point, an empty value
// ("-") empty. Lines in file order, days in date order; torn lines are left out
// and counted. The page and kx7r-export both write through here, so they give
// the same bytes.
class CsvExport {
public:
    static QByteArray headerLine(const QList<int>& columns);
    static CsvResult write(QIODevice& out, const CsvRequest& request,
                           const ArchiveScan::Progress& progress = {});
    // Into a file that appears only when everything was written.
    static CsvResult writeFile(const QString& path, const CsvRequest& request,
                               const ArchiveScan::Progress& progress = {});

    // A field quoted when it holds a comma, a quote or a line break.
    static QByteArray field(const QByteArray& utf8);
};
