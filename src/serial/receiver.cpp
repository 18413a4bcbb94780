#include "receiver.h"

#include "answerhandler.h"
#include "hexframe.h"
#include "iconblinker.h"
#include "linemonitor.h"
#include "monitorblock.h"
#include "terminalaccess.h"

#include "model/logcategories.h"
#include "model/stationstate.h"

namespace {
constexpr int kCodeByte = 1;

bool handedToAnswer(int n)
{
    return n <= 12 || n == 63 || n == 69;
}

bool handedToCompactAnswer(int n)
{
    return n == 58 || n == 64;
}
} // namespace

Receiver::Receiver(StationState& state, TerminalAccess& access, IconBlinker& blinker,
                   LineMonitor& monitor, AnswerHandler& decoder, QObject* parent)
    : QObject(parent), m_state(state), m_access(access), m_blinker(blinker), m_monitor(monitor),
      m_decoder(decoder)
{
}

void Receiver::RSTimerTimer()
{
    // Around the answers of one tick, so that their archive lines and relay
    // frames can go out together at its end.
    m_decoder.beginTick();
    // Everything that arrived is framed now, one collection at a time: nothing
    // waits for a later tick. The port bounds what a flooding line leaves.
    for (int t = 0; t < kTerminalCount; ++t) {
        if (m_access.isInvalid(t))
            continue;
        const QByteArray arrived = m_access.readArrived(t);
        for (qsizetype at = 0; at < arrived.size(); at += kCollectionSize)
            takeBytes(t, arrived.constData() + at,
                      qMin(qsizetype(kCollectionSize), arrived.size() - at));
    }
    m_decoder.endTick();
}

void Receiver::takeBytes(int t, const char* bytes, qsizetype size)
{
    if (t < 0 || t >= kTerminalCount)
        return;
    FrameAssembler& assembler = m_assemblers[size_t(t)];
    QByteArrayView rest(bytes, size);
    while (!rest.isEmpty()) {
        const FrameAssembler::Step step = assembler.take(rest);
        rest = rest.sliced(step.consumed);
        if (step.status == FrameAssembler::Status::Frame) {
            frameComplete(t);
        } else if (step.status == FrameAssembler::Status::Overflow) {
            ++m_state.counters.terminals[size_t(t)].overflowFrames;
            qCWarning(lcSerial).noquote()
                << "terminal" << t + 1 << m_state.terminals[t].comName << "dropped a frame of"
                << FrameAssembler::kBufferSize << "characters without CR LF";
        }
    }
}

void Receiver::resetFraming(int t)
{
    if (t >= 0 && t < kTerminalCount)
        m_assemblers[size_t(t)].reset();
}

void Receiver::frameComplete(int t)
{
    FrameAssembler& assembler = m_assemblers[size_t(t)];
    const int len = int(assembler.frame().size());
    // Decoding works in place: keep the characters for the log line.
    const QByteArray characters =
        lcSerial().isDebugEnabled() ? assembler.frame().toByteArray() : QByteArray();
    TerminalCounters& counters = m_state.counters.terminals[size_t(t)];
    if (!assembler.DecodeFrame()) {
        ++counters.lrcErrors;
        qCDebug(lcSerial) << "terminal" << t + 1
                          << "frame failed its LRC:" << characters.toHex(' ');
        m_blinker.flash(2);
        return;
    }
    ++counters.framesAccepted;
    const QByteArrayView bytes = assembler.bytes(len / 2);
    qCDebug(lcSerial).noquote() << "terminal" << t + 1 << "frame"
                                << QString::fromLatin1(bytes.toByteArray().toHex(' '));
    m_blinker.flash(1);
    if (m_monitor.isEnabled())
        showOnMonitor(t, bytes);
    dispatch(t, bytes);
}

void Receiver::showOnMonitor(int t, QByteArrayView bytes)
{
    const QStringList block =
        MonitorBlock::lines(t + 1, m_state.terminals[t].comName, bytes, m_monitor.isEmpty());
    for (const QString& line : block)
        m_monitor.appendLine(line);
}

void Receiver::dispatch(int t, QByteArrayView bytes)
{
    const auto n = int(bytes.size());
    if (n > kCodeByte && quint8(bytes[kCodeByte]) != HexFrame::kRequestCode)
        return;
    if (n > kCodeByte && handedToAnswer(n))
        m_decoder.DecodeAnswer(t, bytes);
    else if (handedToCompactAnswer(n))
        m_decoder.DecodeCompactAnswer(t, bytes);
    else
        ++m_state.counters.terminals[size_t(t)].unacceptedLength;
}
