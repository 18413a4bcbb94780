#pragma once

#include <QString>

// The archive path rule, written once for the writer, the reader, the history
// client and the tests: a channel's file of a day is
// root / year / month name / day / "Измерения по каналу N.mes", N the poll-list
// row number 1..30. The root is used as stored: a trailing separator doubles,
// which file systems accept.
class ArchivePath {
public:
    // 1..12; empty for any other month, which has no folder.
    static QString monthName(int month);
    static QString yearFolder(const QString& root, int year);
    static QString monthFolder(const QString& root, int year, int month);
    static QString dayFolder(const QString& root, int year, int month, int day);
    // The file of poll-list row number channel (1..30) inside its day folder.
    static QString fileName(int channel);
    static QString filePath(const QString& dayFolder, int channel);

    // Relative path with '/' separators; empty when the date cannot name a folder.
    static QString relativePath(int day, int month, int year, int channel);
    // From the history protocol's DDMMYYYY date text.
    static QString relativePath(const QString& ddmmyyyy, int channel);
};
