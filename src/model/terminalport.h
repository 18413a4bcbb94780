#pragma once

#include "stationlimits.h"

#include <QString>
#include <array>
#include <memory>

class QSerialPort;

// One serial terminal: its settings and the result of its last open. The
// receiver's framing state, which survives re-opens, is the receiver's own.
struct TerminalPort {
    enum class Handle {
        NeverOpened, // start; stays so while the port is "Не определен"
        Invalid,     // the last open failed
        Open,
    };

    Handle handle = Handle::NeverOpened;
    std::unique_ptr<QSerialPort> port; // the device behind an open handle
    quint32 bytesTransferred = 0;      // last read or write

    QString comName; // "Не определен" or "COM1".."COM255"
    QString baudRate;
    QString dataBits; // stored and shown only: lines run 8N1
    QString stopBits;
    QString parity;
    QString status; // "Не определен", "Занят" or "Подключен"

    TerminalPort();
    ~TerminalPort();
    TerminalPort(TerminalPort&&) noexcept;
    TerminalPort& operator=(TerminalPort&&) noexcept;
};
