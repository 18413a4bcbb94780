#pragma once

#include "responsehistogram.h"

#include <QtGlobal>

// What happened to one poll-list row since start-up. Counts only grow.
struct ChannelCounters {
    quint64 requestsSent = 0;      // poll requests written for this row
    quint64 forwardedRequests = 0; // live clients' requests written for this row
    quint64 measurementsAccepted = 0;
    quint64 statusAnswersAccepted = 0;
    // Waits that ran out: "ПДЛ не отвечает" (on request), "Нет данных от ПДЛ" (active).
    quint64 timeouts = 0;
    qint64 lastAcceptedMsecs = 0; // local clock, ms since the epoch; 0 before the first answer
    ResponseHistogram responseTime;

    // When the request now awaited was written, steady clock in ns; 0 for none.
    qint64 requestWrittenNs = 0;

    quint64 answersAccepted() const { return measurementsAccepted + statusAnswersAccepted; }
    // Answers against answers and time-outs; 1 while neither has happened yet.
    double answeredShare() const
    {
        const quint64 settled = answersAccepted() + timeouts;
        return settled == 0 ? 1.0 : double(answersAccepted()) / double(settled);
    }
};
