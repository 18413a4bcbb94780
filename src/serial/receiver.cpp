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
constexpr quint8 kColon = 0x3A;
constexpr quint8 kCr = 0x0D;
constexpr quint8 kLf = 0x0A;
constexpr int kCodeByte = 1;

// A digit's value as the blocks' firmware computes it: only 0..9 and A..F are
// right, anything else gives some value (8-bit wrap kept on purpose: it is the
// line check that drops spoiled frames).
quint8 nibbleValue(quint8 x)
{
    return quint8(x < 0x3A ? x - 0x30 : x - 0x37);
}

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
    emit tickStarted();
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
    emit tickFinished();
}

void Receiver::takeBytes(int t, const char* bytes, qsizetype size)
{
    if (t < 0 || t >= kTerminalCount)
        return;
    TerminalPort& terminal = m_state.terminals[t];
    for (qsizetype i = 0; i < size; ++i) {
        const auto c = quint8(bytes[i]);
        if (terminal.writeIndex < 0 || terminal.writeIndex >= kRxBufferSize)
            terminal.resetReceiver();
        if (c == kColon) {
            if (terminal.inFrame)
                terminal.writeIndex = 0;
            terminal.crLfSeen = false;
            terminal.inFrame = true;
            continue;
        }
        if (!terminal.inFrame)
            continue;
        const int at = terminal.writeIndex;
        terminal.rxBuffer[at] = c;
        if (at > 0 && terminal.rxBuffer[at - 1] == kCr && c == kLf)
            terminal.crLfSeen = true;
        if (terminal.crLfSeen) {
            terminal.writeIndex = at - 1; // at the CR
            terminal.rxBuffer[at - 1] = 0;
            frameComplete(t, terminal.writeIndex);
            continue;
        }
        terminal.writeIndex = at + 1;
        if (terminal.writeIndex >= kRxBufferSize) {
            qCWarning(lcSerial).noquote()
                << "terminal" << t + 1 << terminal.comName << "dropped a frame of" << kRxBufferSize
                << "characters without CR LF";
            terminal.resetReceiver();
        }
    }
}

void Receiver::frameComplete(int t, int len)
{
    TerminalPort& terminal = m_state.terminals[t];
    const QByteArray characters(reinterpret_cast<const char*>(terminal.rxBuffer.data()), len);
    if (!DecodeFrame(t, len)) {
        qCDebug(lcSerial) << "terminal" << t + 1
                          << "frame failed its LRC:" << characters.toHex(' ');
        terminal.resetReceiver();
        m_blinker.flash(2);
        return;
    }
    const int n = len / 2;
    qCDebug(lcSerial).noquote()
        << "terminal" << t + 1 << "frame"
        << QString::fromLatin1(
               QByteArray(reinterpret_cast<const char*>(terminal.rxBuffer.data()), n).toHex(' '));
    m_blinker.flash(1);
    if (m_monitor.isEnabled())
        showOnMonitor(t, n);
    dispatch(t, n);
    terminal.resetReceiver();
}

void Receiver::showOnMonitor(int t, int n)
{
    const TerminalPort& terminal = m_state.terminals[t];
    const QByteArrayView bytes(reinterpret_cast<const char*>(terminal.rxBuffer.data()), n);
    const QStringList block =
        MonitorBlock::lines(t + 1, terminal.comName, bytes, m_monitor.isEmpty());
    for (const QString& line : block)
        m_monitor.appendLine(line);
}

void Receiver::dispatch(int t, int n)
{
    if (n <= kCodeByte || m_state.terminals[t].rxBuffer[kCodeByte] != HexFrame::kRequestCode)
        return;
    if (handedToAnswer(n))
        m_decoder.DecodeAnswer(t, n);
    else if (handedToCompactAnswer(n))
        m_decoder.DecodeCompactAnswer(t, n);
}

bool Receiver::DecodeFrame(int t, int len)
{
    if (t < 0 || t >= kTerminalCount)
        return false;
    // Room for the pairs and for the CR LF written after the bytes.
    len = qBound(0, len, kRxBufferSize - 2);
    auto& buffer = m_state.terminals[t].rxBuffer;
    quint8 sum = 0;
    for (int i = 0; i < len; i += 2) {
        const quint8 high = nibbleValue(buffer[i]);
        const quint8 low = nibbleValue(buffer[i + 1]);
        const auto byte = quint8(quint8(high * 16) | low);
        buffer[i / 2] = byte;
        sum = quint8(sum + byte);
    }
    const int m = (len + 1) / 2;
    buffer[m] = kCr;
    buffer[m + 1] = kLf;
    return sum == 0;
}
