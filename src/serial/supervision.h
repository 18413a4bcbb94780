#pragma once

#include <QObject>
#include <array>

#include "model/stationlimits.h"

class TerminalAccess;
struct StationState;

// The supervision timer TimerWaitAnsewer (100 ms), the last step of a poll: runs
// down the answer countdowns the send timer set and the decoder restarts, times
// silent blocks out (freeing their terminal for the next poll), keeps the status
// cells in line with the ports and re-opens busy ports.
class Supervision : public QObject {
    Q_OBJECT
public:
    static constexpr double kTickSeconds = 0.1;

    Supervision(StationState& state, TerminalAccess& access, QObject* parent = nullptr);

    void TimerWaitAnsewerTimer();

private:
    void superviseChannel(int k);
    // Returns whether the port is open again.
    bool reopenBusyPort(int t, int row);
    void expire(int k, int t);
    void noteOpenResult(int t, bool opened);
    void showWaiting(int row, double countdown);

    StationState& m_state;
    TerminalAccess& m_access;
    // Logged once per episode: a port that stays missing, a block that stays silent.
    std::array<bool, kTerminalCount> m_portLost{};
    std::array<bool, kChannelCount> m_silent{};
};
