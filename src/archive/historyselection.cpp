#include "historyselection.h"

#include "archivereader.h"

#include <bit>

void HistorySelection::clear()
{
    *this = HistorySelection();
    m_selected = true;
}

int HistorySelection::select(const ArchiveReader& reader, const QString& first, const QString& last)
{
    clear();
    m_root = reader.root();
    m_left = ArchiveReader::walkArchiveFiles(
        m_root, first, last, [this](const ArchivePlace& place, const QString&) {
            if (m_days.empty() || m_days.back().year != place.year ||
                m_days.back().month != place.month || m_days.back().day != place.day)
                m_days.push_back(
                    Day{quint16(place.year), quint8(place.month), quint8(place.day), 0});
            m_days.back().channels |= 1u << (place.channel - 1);
        });
    m_days.shrink_to_fit();
    return m_left;
}

ArchivePlace HistorySelection::last() const
{
    if (m_days.empty())
        return {};
    const Day& day = m_days.back();
    return {day.year, day.month, day.day, int(std::bit_width(day.channels))};
}

QString HistorySelection::lastPath() const
{
    return ArchiveReader::filePath(m_root, last());
}

void HistorySelection::removeLast()
{
    if (m_days.empty())
        return;
    Day& day = m_days.back();
    day.channels &= ~(1u << (std::bit_width(day.channels) - 1));
    if (day.channels == 0)
        m_days.pop_back();
    --m_left;
    if (m_days.empty())
        m_days = {}; // its memory goes with the last entry
}
