#pragma once

#include <QString>

// Where the station keeps a channel's file of a day: year / month name / day /
// "Измерения по каналу N.mes". The history client rebuilds the same tree.
class ArchivePath {
public:
    // 1..12; empty for any other month.
    static QString monthName(int month);
    // Relative path with '/' separators; empty when the date cannot name a folder.
    static QString relativePath(int day, int month, int year, int channel);
    // From the history protocol's DDMMYYYY date text.
    static QString relativePath(const QString& ddmmyyyy, int channel);
};
