#pragma once

#include <QObject>

class TerminalAccess;
struct StationState;

// The supervision timer TimerWaitAnsewer (100 ms): runs down answer countdowns,
// times silent blocks out, keeps the status cells in line with the ports and
// re-opens busy ports.
class Supervision : public QObject {
    Q_OBJECT
public:
    Supervision(StationState& state, TerminalAccess& access, QObject* parent = nullptr);

    void TimerWaitAnsewerTimer();

private:
    StationState& m_state;
    TerminalAccess& m_access;
};
