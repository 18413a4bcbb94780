#pragma once

#include <QtGlobal>

// The broker connection since start-up; connected and queued are states.
struct BrokerCounters {
    bool connected = false;
    quint64 queued = 0; // messages waiting now, in memory and spool
    quint64 published = 0;
    quint64 dropped = 0; // messages lost at the queue's bound
    quint64 reconnects = 0;
};
