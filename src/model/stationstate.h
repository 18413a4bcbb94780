#pragma once

#include "cellgrid.h"
#include "channelentry.h"
#include "pollbook.h"
#include "pollqueue.h"
#include "stationcounters.h"
#include "stationlimits.h"
#include "terminalport.h"

#include <QByteArray>
#include <array>

// The run-time tables every part of the station reads and writes. Owned by
// Station; each behaviour holds a reference to it. Single-threaded: no locks.
struct StationState {
    StationState();
    StationState(const StationState&) = delete;
    StationState& operator=(const StationState&) = delete;

    std::array<ChannelEntry, kChannelCount> channels;
    std::array<double, kChannelCount> countdownSeconds{};
    // requestPending and awaitingAnswer, changed through its named operations.
    PollBook poll;

    std::array<PollQueue, kTerminalCount> pollQueues;
    std::array<TerminalPort, kTerminalCount> terminals;

    int iconState = 0;       // 0 black, 1 green, 2 red
    QByteArray forwardFrame; // 13 characters for the block of forwardRow
    int forwardRow = 0;      // poll-list row 1..30, 0 = nothing pending
    int historyClientSeq = 1;

    // tblQueryList: 31 x 10; columns 1..6 the configured fields, 7 "Статус",
    // 8 "Время ожидания", 9 "Версия ПО датчика".
    CellGrid queryList{kChannelCount + 1, 10};
    // tblRSSettings: 7 x 11; column t + 1 is terminal t, rows 1..5 its settings, 6 "Статус".
    CellGrid rsSettings{7, kTerminalCount + 1};
    // tblCurrentConnections and tblCurrentConnectionsForUpdate
    CellGrid currentConnections{2, 5};
    CellGrid currentConnectionsForUpdate{1, 5};

    // Counts of what every part did, for the diagnostics views.
    StationCounters counters;

    // Rebuilds every poll queue from the channel table (k ascending).
    void rebuildQueues();
};

namespace QueryColumn {
enum : int { Id = 0, Name, Terminal, Mode, Address, Channel, Timeout, Status, Waiting, Version };
}
namespace RsRow {
enum : int { Heading = 0, ComName, BaudRate, DataBits, StopBits, Parity, Status };
}
