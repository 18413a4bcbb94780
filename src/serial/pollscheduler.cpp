#include "pollscheduler.h"

#include "hexframe.h"
#include "iconblinker.h"
#include "terminalaccess.h"

#include "model/logcategories.h"
#include "model/stationstate.h"
#include "model/stationtexts.h"
#include "model/terminalname.h"

#include <QDeadlineTimer>

PollScheduler::PollScheduler(StationState& state, TerminalAccess& access, IconBlinker& blinker,
                             QObject* parent)
    : QObject(parent), m_state(state), m_access(access), m_blinker(blinker)
{
    m_quietTimer.setSingleShot(true);
    m_quietTimer.setInterval(kQuietTimeMs);
    // The quiet time is a minimum: a coarse timer may fire up to 5 % early.
    m_quietTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_quietTimer, &QTimer::timeout, this, &PollScheduler::quietTimeElapsed);
}

void PollScheduler::TimerSendQuerryTimer()
{
    if (isPausing()) {
        qCDebug(lcSerial) << "send tick waits for the quiet time after a forwarded request";
        m_tickWaiting = true;
        return;
    }
    runTerminals(0, true);
}

void PollScheduler::quietTimeElapsed()
{
    m_quietTimer.stop();
    // One quiet second per tick: the rest of it sends no forwarded request.
    runTerminals(m_resumeTerminal, false);
    if (m_tickWaiting) {
        m_tickWaiting = false;
        runTerminals(0, true);
    }
}

void PollScheduler::runTerminals(int first, bool withStepA)
{
    for (int t = qMax(first, 0); t < kTerminalCount; ++t) {
        if (withStepA && sendForwarded(t)) {
            m_resumeTerminal = t;
            m_quietTimer.start();
            return;
        }
        pollNext(t, withStepA);
    }
}

bool PollScheduler::sendForwarded(int t)
{
    // Row 0 is the heading row; its "Терминал" names no terminal.
    if (m_state.queryList.text(m_state.forwardRow, QueryColumn::Terminal) != terminalText(t))
        return false;
    m_access.OpenTerminal(t, m_state.terminals[t].baudRate);
    const int row = m_state.forwardRow;
    m_state.forwardRow = 0;
    writeForwardFrame(t, row);
    return true;
}

void PollScheduler::writeForwardFrame(int t, int row)
{
    qCDebug(lcSerial).noquote() << "terminal" << t + 1 << "forwarded request"
                                << QString::fromLatin1(m_state.forwardFrame.trimmed());
    m_access.write(t, m_state.forwardFrame);
    countRequest(row - 1, true);
}

void PollScheduler::countRequest(int k, bool forwarded)
{
    if (k < 0 || k >= kChannelCount)
        return;
    ChannelCounters& counters = m_state.counters.channels[size_t(k)];
    if (forwarded) {
        // What a block makes of it is its own affair: not timed.
        ++counters.forwardedRequests;
        return;
    }
    ++counters.requestsSent;
    counters.requestWrittenNs = QDeadlineTimer::current(Qt::PreciseTimer).deadlineNSecs();
}

void PollScheduler::pollNext(int t, bool mayForward)
{
    PollQueue& queue = m_state.pollQueues[t];
    if (m_state.poll.isPending(t) || queue.count <= 0)
        return;
    if (queue.next >= queue.count || queue.next < 0)
        queue.next = 0;
    const int k = queue.entries[queue.next];
    if (k < 0 || k >= kChannelCount) {
        ++queue.next;
        return;
    }
    TerminalPort& terminal = m_state.terminals[t];
    m_access.OpenTerminal(t, terminal.baudRate);

    if (mayForward && m_state.forwardRow == k + 1) {
        // The forwarded request takes this poll's place; k is polled next tick.
        m_state.forwardRow = 0;
        writeForwardFrame(t, k + 1);
        return;
    }

    const ChannelEntry& channel = m_state.channels[k];
    const int row = k + 1;
    if (SendRequest(t, channel.blockAddress, channel.channelNumber)) {
        m_state.poll.requested(t, k);
        countRequest(k, false);
        m_state.countdownSeconds[k] = channel.timeoutSeconds;
        m_state.queryList.setText(row, QueryColumn::Waiting,
                                  Texts::waitingPrefix + QString::number(channel.timeoutSeconds) +
                                      Texts::secondsSuffix);
        m_access.showPortState(t, Texts::portConnected, CellColour::Green);
        if (m_sendFailing[t]) {
            m_sendFailing[t] = false;
            qCInfo(lcSerial).noquote()
                << "terminal" << t + 1 << terminal.comName << "takes requests again";
        }
    } else {
        m_state.queryList.setCell(row, QueryColumn::Status, Texts::portMissingOrBusy,
                                  CellColour::Red);
        m_access.showPortState(t, Texts::portBusy, CellColour::Red);
        if (!m_sendFailing[t]) {
            m_sendFailing[t] = true;
            qCWarning(lcSerial).noquote() << "terminal" << t + 1 << terminal.comName
                                          << "cannot be opened: requests are not sent";
        }
    }
    ++queue.next;
}

bool PollScheduler::SendRequest(int t, quint8 blockAddress, quint8 channelNumber)
{
    if (m_access.isInvalid(t))
        return false;
    const QByteArray frame = HexFrame::requestFrame(blockAddress, channelNumber);
    qCDebug(lcSerial).noquote() << "terminal" << t + 1 << "request"
                                << QString::fromLatin1(frame.trimmed());
    m_access.write(t, frame);
    m_blinker.flash(2);
    return true;
}

void PollScheduler::setForwardedRequest(const QByteArray& frame, int row)
{
    m_state.forwardFrame = frame;
    m_state.forwardRow = row;
}
