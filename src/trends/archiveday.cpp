#include "archiveday.h"

namespace {
constexpr int kLastSecond = 24 * 3600 - 1;

QDateTime localTime(const QDate& day, int secondOfDay)
{
    return QDateTime(day, QTime::fromMSecsSinceStartOfDay(secondOfDay * 1000));
}

void appendDigits(QByteArray& text, int value, int width)
{
    text += QByteArray::number(value).rightJustified(width, '0');
}

QByteArray isoFrom(const QDate& day, int secondOfDay, int offsetSeconds)
{
    QByteArray text;
    text.reserve(25);
    appendDigits(text, day.year(), 4);
    text += '-';
    appendDigits(text, day.month(), 2);
    text += '-';
    appendDigits(text, day.day(), 2);
    text += 'T';
    appendDigits(text, secondOfDay / 3600, 2);
    text += ':';
    appendDigits(text, secondOfDay / 60 % 60, 2);
    text += ':';
    appendDigits(text, secondOfDay % 60, 2);
    text += offsetSeconds < 0 ? '-' : '+';
    const int offset = offsetSeconds < 0 ? -offsetSeconds : offsetSeconds;
    appendDigits(text, offset / 3600, 2);
    text += ':';
    appendDigits(text, offset / 60 % 60, 2);
    return text;
}
} // namespace

ArchiveDay::ArchiveDay(const QDate& day) : m_day(day)
{
    const QDateTime start = localTime(day, 0);
    const QDateTime noon = localTime(day, 12 * 3600);
    const QDateTime end = localTime(day, kLastSecond);
    m_offsetSeconds = start.offsetFromUtc();
    m_uniformOffset = start.time() == QTime(0, 0) && end.time() == QTime(23, 59, 59) &&
                      noon.offsetFromUtc() == m_offsetSeconds &&
                      end.offsetFromUtc() == m_offsetSeconds;
    m_utcMidnightMs = day.startOfDay(Qt::UTC).toMSecsSinceEpoch();
}

QDateTime ArchiveDay::dateTime(int secondOfDay) const
{
    return localTime(m_day, secondOfDay);
}

qint64 ArchiveDay::msecsSinceEpoch(int secondOfDay) const
{
    if (m_uniformOffset)
        return m_utcMidnightMs + (qint64(secondOfDay) - m_offsetSeconds) * 1000;
    return dateTime(secondOfDay).toMSecsSinceEpoch();
}

QByteArray ArchiveDay::isoText(int secondOfDay) const
{
    if (m_uniformOffset)
        return isoFrom(m_day, secondOfDay, m_offsetSeconds);
    const QDateTime time = dateTime(secondOfDay);
    return isoFrom(time.date(), time.time().msecsSinceStartOfDay() / 1000, time.offsetFromUtc());
}
