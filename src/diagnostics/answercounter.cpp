#include "answercounter.h"

#include "answers/acceptedanswer.h"
#include "model/clock.h"
#include "model/stationcounters.h"

#include <QDeadlineTimer>

AnswerCounter::AnswerCounter(StationCounters& counters, const Clock& clock)
    : m_counters(counters), m_clock(clock)
{
}

void AnswerCounter::readClocks()
{
    m_tickMsecs = m_clock.now().toMSecsSinceEpoch();
    m_tickNs = QDeadlineTimer::current(Qt::PreciseTimer).deadlineNSecs();
}

void AnswerCounter::beginTick()
{
    m_inTick = true;
    readClocks();
}

void AnswerCounter::endTick()
{
    m_inTick = false;
}

void AnswerCounter::accept(const AcceptedAnswer& answer)
{
    if (answer.row < 0 || answer.row >= kChannelCount)
        return;
    if (!m_inTick)
        readClocks();
    ChannelCounters& channel = m_counters.channels[size_t(answer.row)];
    ++(answer.kind == AcceptedAnswer::Kind::Measurement ? channel.measurementsAccepted
                                                        : channel.statusAnswersAccepted);
    channel.lastAcceptedMsecs = m_tickMsecs;
    if (channel.requestWrittenNs != 0) {
        const qint64 elapsedNs = m_tickNs - channel.requestWrittenNs;
        channel.responseTime.record(quint64(qMax<qint64>(elapsedNs, 0) / 1000000));
        channel.requestWrittenNs = 0;
    }
}
