#pragma once

#include <QByteArray>
#include <QDate>
#include <QDateTime>

// The local time of a line in a day's archive file: the file's date and the
// line's time of day. The offset from UTC is found once for the day; only a
// day with a clock change asks the time zone again for every line.
class ArchiveDay {
public:
    explicit ArchiveDay(const QDate& day);

    const QDate& date() const { return m_day; }
    QDateTime dateTime(int secondOfDay) const;
    qint64 msecsSinceEpoch(int secondOfDay) const;
    // ISO 8601 with the offset, 2024-06-15T14:45:30+03:00.
    QByteArray isoText(int secondOfDay) const;

private:
    QDate m_day;
    qint64 m_utcMidnightMs = 0;
    int m_offsetSeconds = 0;
    bool m_uniformOffset = false;
};
