#pragma once

#include "archiveplace.h"

#include <QString>
#include <QtGlobal>
#include <vector>

class ArchiveReader;

// One client ID's list of archive files still to be sent, newest last, fixed at
// its select: the archive root of that moment and, for each day that had files,
// the channels that had one (8 bytes a day instead of two texts a file). Files
// that appear afterwards or another root applied wait for the next select; a
// file removed afterwards keeps its entry until it is acknowledged.
class HistorySelection {
public:
    bool isSelected() const { return m_selected; }
    int size() const { return m_left; }
    bool isEmpty() const { return m_left == 0; }
    // The last entry and its path; only when not empty.
    ArchivePlace last() const;
    QString lastPath() const;

    // Two new lists holding the period's files as they are now; returns their number.
    int select(const ArchiveReader& reader, const QString& first, const QString& last);
    // Two new, empty lists.
    void clear();
    void removeLast();

    // The last description: this file had this size.
    QString describedFile;
    qint64 describedSize = -1;

private:
    struct Day {
        quint16 year = 0;
        quint8 month = 0;
        quint8 day = 0;
        quint32 channels = 0; // bit n - 1: channel n's file is still to be sent
    };
    static_assert(sizeof(Day) == 8);

    bool m_selected = false;
    int m_left = 0;
    QString m_root;
    std::vector<Day> m_days; // ascending, none without a channel
};
