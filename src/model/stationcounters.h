#pragma once

#include "archivecounters.h"
#include "brokercounters.h"
#include "channelcounters.h"
#include "historycounters.h"
#include "livecounters.h"
#include "stationlimits.h"
#include "terminalcounters.h"

#include <array>

// Every count the station keeps, from start-up, for the diagnostics views.
// Each part increments its own entries where the event happens; readers only
// read. Single-threaded like the rest of StationState.
struct StationCounters {
    std::array<ChannelCounters, kChannelCount> channels{}; // by k, row k + 1
    std::array<TerminalCounters, kTerminalCount> terminals{};
    LiveCounters live;
    HistoryCounters history;
    ArchiveCounters archive;
    BrokerCounters broker;
    qint64 startedMsecs = 0; // local clock, ms since the epoch
};
