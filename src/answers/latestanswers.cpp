#include "latestanswers.h"

#include "acceptedanswer.h"
#include "model/clock.h"

LatestAnswers::LatestAnswers(const Clock& clock, QObject* parent) : QObject(parent), m_clock(clock)
{
}

void LatestAnswers::forgetRow(int row)
{
    if (row < 0 || row >= kChannelCount)
        return;
    m_entries[size_t(row)] = Entry();
    markUpdated(row);
    if (!m_inTick)
        endTick();
}

void LatestAnswers::beginTick()
{
    m_inTick = true;
    // One look at the clock per tick: a local time costs more than the copy.
    m_tickTime = m_clock.now();
}

void LatestAnswers::accept(const AcceptedAnswer& answer)
{
    if (answer.row < 0 || answer.row >= kChannelCount)
        return;
    Entry& entry = m_entries[size_t(answer.row)];
    const QDateTime now = m_inTick ? m_tickTime : m_clock.now();
    entry.lastReceived = now;
    entry.terminal = answer.terminal;
    entry.statusText = answer.statusText;
    entry.status = answer.status;
    if (answer.measurement) {
        entry.measurement = answer.measurement;
        entry.measurementReceived = now;
    } else {
        entry.statusCode = answer.status;
        entry.statusReceived = now;
    }
    markUpdated(answer.row);
    if (!m_inTick)
        endTick();
}

void LatestAnswers::endTick()
{
    m_inTick = false;
    if (m_updated.isEmpty())
        return;
    const QList<int> rows = std::exchange(m_updated, {});
    emit rowsUpdated(rows);
}

void LatestAnswers::markUpdated(int row)
{
    if (!m_updated.contains(row))
        m_updated.append(row);
}
