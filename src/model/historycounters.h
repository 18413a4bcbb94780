#pragma once

#include <QtGlobal>

// The history TCP service since start-up.
struct HistoryCounters {
    quint64 sessions = 0; // connections accepted
    quint64 filesSent = 0;
    quint64 bytesSent = 0; // archive file bytes
    quint64 badRequests = 0;
    quint64 idleCloses = 0;
};
