#pragma once

#include <QObject>

class IconBlinker;
class TerminalAccess;
struct StationState;

// The send timer TimerSendQuerry (2000 ms): per terminal, a pending forwarded
// request (step A), then the next poll of its queue (step B).
class PollScheduler : public QObject {
    Q_OBJECT
public:
    PollScheduler(StationState& state, TerminalAccess& access, IconBlinker& blinker,
                  QObject* parent = nullptr);

    void TimerSendQuerryTimer();
    bool SendRequest(int t, quint8 blockAddress, quint8 channelNumber);

    // A live client's request: frame (13 characters) for poll-list row 1..30.
    void setForwardedRequest(const QByteArray& frame, int row);

private:
    StationState& m_state;
    TerminalAccess& m_access;
    IconBlinker& m_blinker;
};
