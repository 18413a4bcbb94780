#pragma once

#include <QObject>
#include <array>

#include "model/stationlimits.h"

class AnswerHandler;
class IconBlinker;
class LineMonitor;
class TerminalAccess;
struct StationState;
struct TerminalPort;

// The receive timer RSTimer (1000 ms), the step after the block answered: drains
// every terminal, cuts the stream into hex frames (state kept in TerminalPort
// between ticks), decodes and checks each (DecodeFrame), shows good ones on the
// line monitor and hands answers with code 0x34 to the decoder by their length.
class Receiver : public QObject {
    Q_OBJECT
public:
    static constexpr int kCollectionSize = 288;

    Receiver(StationState& state, TerminalAccess& access, IconBlinker& blinker,
             LineMonitor& monitor, AnswerHandler& decoder, QObject* parent = nullptr);

    void RSTimerTimer();
    bool DecodeFrame(int t, int len);

    // Passes bytes of terminal t through the framing as if they had been read.
    void takeBytes(int t, const char* bytes, qsizetype size);

signals:
    // Around the answers of one tick, so that their archive lines and relay
    // frames can go out together at its end.
    void tickStarted();
    void tickFinished();

private:
    void frameComplete(int t, int len);
    void showOnMonitor(int t, int n);
    void dispatch(int t, int n);

    StationState& m_state;
    TerminalAccess& m_access;
    IconBlinker& m_blinker;
    LineMonitor& m_monitor;
    AnswerHandler& m_decoder;
};
