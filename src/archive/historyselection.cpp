#include "historyselection.h"

#include "archivereader.h"

void HistorySelection::clear()
{
    *this = HistorySelection();
    m_selected = true;
}

int HistorySelection::select(const ArchiveReader& reader, const QString& first, const QString& last)
{
    clear();
    m_first = first;
    m_lastStamp = last;
    m_left =
        reader.walkArchiveFiles(first, last, [this](const ArchivePlace& place, const QString&) {
            if (!m_last || !m_last->sameDay(place))
                m_newestDayChannels = 0;
            m_newestDayChannels |= 1u << place.channel;
            m_last = place;
        });
    if (m_last)
        m_newestDay = *m_last;
    return m_left;
}

void HistorySelection::removeLast(const ArchiveReader& reader)
{
    if (m_left == 0)
        return;
    --m_left;
    if (m_left == 0 || !m_last) {
        m_last.reset();
        return;
    }
    std::optional<ArchivePlace> place = m_last;
    do
        place = reader.previousArchiveFile(m_first, m_lastStamp, place);
    while (place && !wasListed(*place));
    m_last = place;
}

bool HistorySelection::wasListed(const ArchivePlace& place) const
{
    // Only the newest day can have grown since the select; older days are as they were.
    return !place.sameDay(m_newestDay) || (m_newestDayChannels & (1u << place.channel)) != 0;
}
