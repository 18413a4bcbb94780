#pragma once

#include <QObject>
#include <QTimer>
#include <array>

#include "model/stationlimits.h"

class IconBlinker;
class TerminalAccess;
struct StationState;

// The send timer TimerSendQuerry (2000 ms), first step of a poll: per terminal, a
// pending forwarded request (step A), then the next on-request channel of its
// queue (step B), written as a request frame that the receiver's answer or the
// supervision's time-out later settles. After a forwarded request the lines stay
// quiet for a second; the rest of the tick continues from a single-shot timer so
// the other timers and the TCP services keep running meanwhile. A tick has at
// most one quiet second: a request forwarded during it waits for the next tick,
// and a send tick that falls into it runs as soon as the interrupted one is done.
class PollScheduler : public QObject {
    Q_OBJECT
public:
    static constexpr int kQuietTimeMs = 1000;

    PollScheduler(StationState& state, TerminalAccess& access, IconBlinker& blinker,
                  QObject* parent = nullptr);

    void TimerSendQuerryTimer();
    bool SendRequest(int t, quint8 blockAddress, quint8 channelNumber);

    // A live client's request: frame (13 characters) for poll-list row 1..30.
    // A newer request replaces a pending one.
    void setForwardedRequest(const QByteArray& frame, int row);

    // The quiet second after a forwarded request is running; a send tick that
    // comes meanwhile waits until the rest of the interrupted tick has run.
    bool isPausing() const { return m_quietTimer.isActive(); }
    // The rest of the interrupted tick: step B of the terminal that sent the
    // forwarded request, then the following terminals.
    void quietTimeElapsed();
    // Shutdown: the rest of an interrupted tick is not sent.
    void stopPause()
    {
        m_quietTimer.stop();
        m_tickWaiting = false;
    }

private:
    // Runs the tick from terminal first; with withStepA false every terminal
    // goes straight to step B, and a request forwarded meanwhile takes no
    // poll's place either: it goes out by step A of the next tick.
    void runTerminals(int first, bool withStepA);
    // Step A; true when a forwarded request went out and the quiet time began.
    bool sendForwarded(int t);
    // Step B; with mayForward the forwarded request may take the poll's place.
    void pollNext(int t, bool mayForward);
    void writeForwardFrame(int t, int row);
    // Counts a request written for channel k; a poll's time is noted for its response time.
    void countRequest(int k, bool forwarded);

    StationState& m_state;
    TerminalAccess& m_access;
    IconBlinker& m_blinker;
    QTimer m_quietTimer;
    int m_resumeTerminal = 0;
    bool m_tickWaiting = false;                       // a send tick came during the quiet second
    std::array<bool, kTerminalCount> m_sendFailing{}; // logged once per episode
};
