#pragma once

#include <QByteArray>
#include <QDeadlineTimer>
#include <QObject>
#include <QString>
#include <array>

#include "model/cellcolour.h"
#include "model/stationlimits.h"

class SettingsStore;
struct TerminalPort;
struct StationState;
class QSerialPort;

// Opens, reads and writes the serial terminals. OpenTerminal always closes what
// the terminal holds and opens its port again, 8N1 at the stored baud rate
// whatever else is stored; a rate text that is no number leaves the line at
// kFallbackBaud. Refused settings never close a port. A port whose device is
// gone (adapter pulled: resource, read or write errors) is closed from the
// event loop, so the terminal reads nothing until its next OpenTerminal: the
// silence a lost port shows.
class TerminalAccess : public QObject {
    Q_OBJECT
public:
    static constexpr int kWriteTimeoutMs = 1500;
    // What a line may deliver between two receive ticks; beyond it the oldest
    // bytes are dropped, so a flooding line costs bounded memory and the answers
    // that follow the flood are read on the next tick.
    static constexpr qint64 kReadBacklogLimit = 1024 * 1024;
    static constexpr qint32 kFallbackBaud = 9600;

    TerminalAccess(StationState& state, const SettingsStore& settings, QObject* parent = nullptr);

    bool OpenTerminal(int t, const QString& baud);

    // The last open of terminal t failed.
    bool isInvalid(int t) const;
    // Everything that has arrived on terminal t (at most kReadBacklogLimit
    // bytes, the newest); empty when nothing has or the port is not open.
    QByteArray readArrived(int t);
    // Bytes dropped on terminal t since start because the line outran the ticks.
    qint64 droppedBytes(int t) const;
    // One write, result not looked at; output that cannot leave within 1.5 s is dropped.
    void write(int t, const QByteArray& bytes);

    // Row 6 of tblRSSettings after an open: "Подключен" green, "-" black for a
    // port that is "Не определен", else "Занят" red.
    void showOpenResult(int t, bool opened);
    // Row 6 of tblRSSettings for terminal t, the one place it is written.
    void showPortState(int t, const QString& text, CellColour colour);

signals:
    // The port state terminal t shows changed: "Подключен", "Занят" or "-".
    void portStateChanged(int t, const QString& state);

private:
    struct Backlog {
        qint64 dropped = 0;        // since start
        qint64 episodeDropped = 0; // since the line last stayed under the bound
        bool droppedSinceRead = false;
    };
    void boundBacklog(int t);
    void closePort(int t);
    void watchErrors(int t, QSerialPort* port);
    void applyLineSettings(int t, QSerialPort& port, const QString& baud);
    void reportOpenFailure(int t, const QString& reason);

    std::array<Backlog, kTerminalCount> m_backlogs;

    StationState& m_state;
    const SettingsStore& m_settings;
    // Counts the opens of each terminal, so a close queued for a lost port
    // never closes a port opened since.
    std::array<quint64, kTerminalCount> m_openGeneration{};
    // The reason the last open failed, logged once per episode.
    std::array<QString, kTerminalCount> m_openFailure;
#ifdef Q_OS_WIN
    // The end of the last write's 1.5 s write time.
    std::array<QDeadlineTimer, kTerminalCount> m_writeDeadline{};
#endif
};
