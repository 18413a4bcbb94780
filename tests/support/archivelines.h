#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>

// Archive lines made by hand for tests that read the archive back: the name and
// the time of day, then the 27 value fields, "-" for every one not given.
// Bytes as the station writes them (CP1251, TAB after every field, CR LF).
QByteArray archiveLine(const QByteArray& cp1251Name, const QByteArray& time,
                       const QList<QPair<int, QByteArray>>& values);
// The file's title line.
QByteArray archiveHeader();
