#pragma once

#include "answers/answerconsumer.h"

#include <QtGlobal>

class Clock;
struct StationCounters;

// A consumer of accepted answers that counts them per channel: measurements
// and status answers, the time of the last one and, for an answer to a request
// the scheduler wrote, its response time. The clocks are read once per receive
// tick, as all of a tick's answers arrived by its read, so an answer costs a
// few increments.
class AnswerCounter : public AnswerConsumer {
public:
    AnswerCounter(StationCounters& counters, const Clock& clock);

    void beginTick() override;
    void accept(const AcceptedAnswer& answer) override;
    void endTick() override;

private:
    void readClocks();

    StationCounters& m_counters;
    const Clock& m_clock;
    bool m_inTick = false;
    qint64 m_tickMsecs = 0; // local clock, ms since the epoch
    qint64 m_tickNs = 0;    // steady clock
};
