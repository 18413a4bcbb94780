#pragma once

#include <QtGlobal>

// The live TCP service since start-up; clientsNow is the only value that falls.
struct LiveCounters {
    quint64 clientsNow = 0;
    quint64 connectionsAccepted = 0;
    quint64 connectionsRefused = 0; // over the client cap
    quint64 framesSent = 0;         // relay frames written to clients
    quint64 framesDropped = 0;      // not written: the client read too slowly
    quint64 badRequests = 0;
};
