#pragma once

#include <QDate>
#include <QString>
#include <QtGlobal>
#include <functional>

class ArchiveLine;

// What a walk over a row's archive found.
struct ScanSummary {
    int days = 0;          // in the period
    int filesRead = 0;     // days whose file was there and opened
    int missingDays = 0;   // no day folder or no file of the row in it
    int unopenedFiles = 0; // there but not readable
    qint64 lines = 0;      // measurements handed on
    qint64 unreadableLines = 0;
    bool cancelled = false;
};

// Walks one row's archive files day by day over a period, in date order, and
// hands on every measurement line in file order. Torn and unreadable lines
// are counted, never fatal; missing days are counted and skipped. Files are
// read in chunks, so memory stays the same whatever a file holds. Runs on any
// thread: it touches nothing but the files.
class ArchiveScan {
public:
    using LineVisit = std::function<void(const QDate& day, const ArchiveLine& line)>;
    // Days done and in all, before each day; false stops the walk.
    using Progress = std::function<bool(int done, int total)>;

    // channel: the poll-list row number 1..30.
    static ScanSummary scan(const QString& root, int channel, const QDate& first, const QDate& last,
                            const LineVisit& visit, const Progress& progress = {});

    static constexpr qsizetype kChunkSize = 1 << 20;
    // A line longer than this is no archive line: skipped as one unreadable line.
    static constexpr qsizetype kMaxLineLength = 64 * 1024;
};
