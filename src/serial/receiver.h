#pragma once

#include <QObject>
#include <array>

#include "frameassembler.h"

#include "model/stationlimits.h"

class AnswerHandler;
class IconBlinker;
class LineMonitor;
class TerminalAccess;
struct StationState;
struct TerminalPort;

// The receive timer RSTimer (1000 ms), the step after the block answered: drains
// every terminal into its frame assembler, decodes and checks each frame
// (DecodeFrame), shows good ones on the line monitor and hands the bytes of
// answers with code 0x34 to the decoder by their length.
class Receiver : public QObject {
    Q_OBJECT
public:
    static constexpr int kCollectionSize = 288;

    Receiver(StationState& state, TerminalAccess& access, IconBlinker& blinker,
             LineMonitor& monitor, AnswerHandler& decoder, QObject* parent = nullptr);

    void RSTimerTimer();

    // Passes bytes of terminal t through the framing as if they had been read.
    void takeBytes(int t, const char* bytes, qsizetype size);
    // Drops the frame terminal t is receiving: start-up and "Применить" of the terminals.
    void resetFraming(int t);
    const FrameAssembler& assembler(int t) const { return m_assemblers[size_t(t)]; }

private:
    void frameComplete(int t);
    void showOnMonitor(int t, QByteArrayView bytes);
    void dispatch(int t, QByteArrayView bytes);

    StationState& m_state;
    TerminalAccess& m_access;
    IconBlinker& m_blinker;
    LineMonitor& m_monitor;
    AnswerHandler& m_decoder;
    std::array<FrameAssembler, kTerminalCount> m_assemblers;
};
