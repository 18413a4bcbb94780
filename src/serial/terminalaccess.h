#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <array>

class SettingsStore;
struct TerminalPort;
struct StationState;

// Opens, reads and writes the serial terminals. OpenTerminal always closes what
// the terminal holds and opens its port again, 8N1 at the stored baud rate
// whatever else is stored. A port that fails while open (adapter pulled) is
// closed from the event loop, so the terminal reads nothing until its next
// OpenTerminal: the silence a lost port shows.
class TerminalAccess : public QObject {
    Q_OBJECT
public:
    static constexpr int kWriteTimeoutMs = 1500;

    TerminalAccess(StationState& state, const SettingsStore& settings, QObject* parent = nullptr);

    bool OpenTerminal(int t, const QString& baud);

    // The last open of terminal t failed.
    bool isInvalid(int t) const;
    // Up to maxBytes of what has arrived; empty when nothing has or the port is not open.
    QByteArray read(int t, qint64 maxBytes);
    // One write, result not looked at; output that cannot leave within 1.5 s is dropped.
    void write(int t, const QByteArray& bytes);

    // Row 6 of tblRSSettings after an open: "Подключен" green, "-" black for a
    // port that is "Не определен", else "Занят" red.
    void showOpenResult(int t, bool opened);

private:
    void closePort(TerminalPort& terminal);

    StationState& m_state;
    const SettingsStore& m_settings;
};
