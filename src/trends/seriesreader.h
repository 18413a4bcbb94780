#pragma once

#include "archivescan.h"

#include <QDateTime>
#include <QList>
#include <QPointF>
#include <QString>

struct TrendRequest {
    QString root;    // the archive root (HistoryFolder)
    int channel = 0; // poll-list row number 1..30
    QDateTime from;
    QDateTime to;
    QList<int> columns; // archive column indexes of numbers
    int buckets = 1000; // pixel columns of the chart
};

struct TrendData {
    // Per requested column, in the request's order: x ms since the epoch, y the value.
    QList<QList<QPointF>> series;
    ScanSummary summary;
};

// A trend of a row from its archive files: every day the period touches is
// read, each chosen value is thinned to two points per pixel column. The
// result's size depends on the chart's width, not on the period.
class SeriesReader {
public:
    static TrendData read(const TrendRequest& request, const ArchiveScan::Progress& progress = {});
};
