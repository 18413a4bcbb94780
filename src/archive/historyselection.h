#pragma once

#include "archiveplace.h"

#include <QString>
#include <optional>

class ArchiveReader;

// One client ID's list of archive files still to be sent, newest last. The list
// is not held: only the period, the number of files left and the newest of them
// are, and the archive is walked backwards again as files are acknowledged, so a
// selection costs the same few words whatever its period. The newest day's
// channel files are noted at the select, so a file the writer adds to that day
// afterwards joins the next selection, not this one.
class HistorySelection {
public:
    bool isSelected() const { return m_selected; }
    int size() const { return m_left; }
    bool isEmpty() const { return m_left == 0; }
    // The last entry; none when it can no longer be found in the archive.
    const std::optional<ArchivePlace>& last() const { return m_last; }

    // Two new lists holding the period's files; returns their number.
    int select(const ArchiveReader& reader, const QString& first, const QString& last);
    // Two new, empty lists.
    void clear();
    void removeLast(const ArchiveReader& reader);

    // The last description: this file had this size.
    QString describedFile;
    qint64 describedSize = -1;

private:
    bool wasListed(const ArchivePlace& place) const;

    bool m_selected = false;
    QString m_first;
    QString m_lastStamp;
    int m_left = 0;
    std::optional<ArchivePlace> m_last;
    ArchivePlace m_newestDay;        // the day of the newest file at the select
    quint32 m_newestDayChannels = 0; // bit n: that day's channel n was listed
};
