#pragma once

#include <QtGlobal>

// What one serial terminal did since start-up. Counts only grow; portState
// follows the "Статус" row of the terminal settings.
struct TerminalCounters {
    enum class PortState : quint8 {
        None,      // "-": not defined, never opened
        Connected, // "Подключен"
        Busy,      // "Занят": the last open failed
    };

    quint64 opens = 0;
    quint64 openFailures = 0;
    quint64 bytesRead = 0;
    quint64 bytesWritten = 0;
    quint64 framesAccepted = 0;    // frames whose LRC checks
    quint64 lrcErrors = 0;         // frames whose LRC does not
    quint64 unacceptedLength = 0;  // good frames of a length the decoder takes none of
    quint64 overflowFrames = 0;    // frames that outgrew the receive buffer without CR LF
    quint64 floodDroppedBytes = 0; // dropped because the line outran the receive ticks
    PortState portState = PortState::None;
};
