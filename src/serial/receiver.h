#pragma once

#include <QObject>

class AnswerHandler;
class IconBlinker;
class LineMonitor;
class TerminalAccess;
struct StationState;

// The receive timer RSTimer (1000 ms): drains every terminal, cuts the stream into
// hex frames, decodes and checks each (DecodeFrame), shows good ones on the line
// monitor and hands answers with code 0x34 to the decoder by their length.
class Receiver : public QObject {
    Q_OBJECT
public:
    Receiver(StationState& state, TerminalAccess& access, IconBlinker& blinker,
             LineMonitor& monitor, AnswerHandler& decoder, QObject* parent = nullptr);

    void RSTimerTimer();
    bool DecodeFrame(int t, int len);

private:
    StationState& m_state;
    TerminalAccess& m_access;
    IconBlinker& m_blinker;
    LineMonitor& m_monitor;
    AnswerHandler& m_decoder;
};
