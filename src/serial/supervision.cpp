#include "supervision.h"

#include "terminalaccess.h"

#include "model/logcategories.h"
#include "model/stationstate.h"
#include "model/stationtexts.h"
#include "model/terminalname.h"

#include <cmath>

namespace {
QString describeChannel(const ChannelEntry& channel, int k, int t)
{
    return QStringLiteral("channel %1 (terminal %2, block %3, channel %4)")
        .arg(k + 1)
        .arg(t + 1)
        .arg(channel.blockAddress)
        .arg(channel.channelNumber);
}
} // namespace

Supervision::Supervision(StationState& state, TerminalAccess& access, QObject* parent)
    : QObject(parent), m_state(state), m_access(access)
{
}

void Supervision::TimerWaitAnsewerTimer()
{
    for (int k = 0; k < kChannelCount; ++k)
        superviseChannel(k);
}

void Supervision::superviseChannel(int k)
{
    const ChannelEntry& channel = m_state.channels[k];
    CellGrid& grid = m_state.queryList;
    const int row = k + 1;

    // Any text naming no terminal 1..10 counts as not connected.
    const int t = terminalIndex(channel.terminal);
    if (t < 0) {
        m_state.countdownSeconds[k] = channel.timeoutSeconds;
        grid.setCell(row, QueryColumn::Status, QStringLiteral("-"), CellColour::Black);
        grid.setText(row, QueryColumn::Version, Texts::unknownVersion);
        return;
    }

    const TerminalPort& terminal = m_state.terminals[t];
    if (terminal.status == Texts::portUndefined) {
        grid.setCell(row, QueryColumn::Status, Texts::portNotDefined, CellColour::Red);
        m_access.showPortState(t, QStringLiteral("-"), CellColour::Black);
        grid.setText(row, QueryColumn::Waiting, QString());
        return;
    }
    if (terminal.status == Texts::portBusy && !reopenBusyPort(t, row))
        return;

    if (!m_state.poll.isAwaiting(k) && channel.mode != Texts::modeActive)
        return;

    if (m_silent[k]) {
        // The decoder or a port failure has written another status since.
        const QString status = grid.text(row, QueryColumn::Status);
        if (status != Texts::blockNotAnswering && status != Texts::noDataFromBlock)
            m_silent[k] = false;
    }

    double& countdown = m_state.countdownSeconds[k];
    countdown -= kTickSeconds;
    showWaiting(row, countdown);
    if (countdown > 0)
        return;
    expire(k, t);
}

bool Supervision::reopenBusyPort(int t, int row)
{
    CellGrid& grid = m_state.queryList;
    const bool opened = m_access.OpenTerminal(t, m_state.terminals[t].baudRate);
    noteOpenResult(t, opened);
    if (opened) {
        grid.setCell(row, QueryColumn::Status, QString(), CellColour::Black);
        m_access.showPortState(t, Texts::portConnected, CellColour::Green);
        return true;
    }
    grid.setCell(row, QueryColumn::Status, Texts::portMissingOrBusy, CellColour::Red);
    m_access.showPortState(t, Texts::portBusy, CellColour::Red);
    grid.setText(row, QueryColumn::Waiting, QString());
    return false;
}

void Supervision::expire(int k, int t)
{
    const ChannelEntry& channel = m_state.channels[k];
    CellGrid& grid = m_state.queryList;
    const int row = k + 1;
    const bool firstSilence = !m_silent[k];
    m_silent[k] = true;
    ChannelCounters& counters = m_state.counters.channels[size_t(k)];
    ++counters.timeouts;
    counters.requestWrittenNs = 0; // a late answer has no response time

    if (channel.mode == Texts::modeActive) {
        m_state.countdownSeconds[k] = channel.timeoutSeconds;
        const bool opened = m_access.OpenTerminal(t, m_state.terminals[t].baudRate);
        noteOpenResult(t, opened);
        if (opened) {
            grid.setCell(row, QueryColumn::Status, Texts::noDataFromBlock, CellColour::Red);
            grid.setText(row, QueryColumn::Version, Texts::unknownVersion);
            m_access.showPortState(t, Texts::portConnected, CellColour::Green);
            if (firstSilence)
                qCWarning(lcSerial).noquote()
                    << describeChannel(channel, k, t) << "sent no data within"
                    << channel.timeoutSeconds << "s; port re-opened";
        } else {
            grid.setCell(row, QueryColumn::Status, Texts::portMissingOrBusy, CellColour::Red);
            m_access.showPortState(t, Texts::portBusy, CellColour::Red);
        }
        return;
    }

    m_state.poll.timedOut(t, k);
    grid.setCell(row, QueryColumn::Status, Texts::blockNotAnswering, CellColour::Red);
    grid.setText(row, QueryColumn::Waiting, QString());
    grid.setText(row, QueryColumn::Version, Texts::unknownVersion);
    if (firstSilence)
        qCWarning(lcSerial).noquote() << describeChannel(channel, k, t) << "did not answer within"
                                      << channel.timeoutSeconds << "s";
}

void Supervision::noteOpenResult(int t, bool opened)
{
    const QString& comName = m_state.terminals[t].comName;
    if (!opened && !m_portLost[t]) {
        m_portLost[t] = true;
        qCWarning(lcSerial).noquote()
            << "terminal" << t + 1 << comName << "missing or busy; retrying every tick";
    } else if (opened && m_portLost[t]) {
        m_portLost[t] = false;
        qCInfo(lcSerial).noquote() << "terminal" << t + 1 << comName << "open again";
    }
}

void Supervision::showWaiting(int row, double countdown)
{
    // Cut towards zero: 9.9 shows as 9, 0.4 and -0.1 as 0.
    const auto seconds = qint64(std::trunc(countdown));
    m_state.queryList.setText(row, QueryColumn::Waiting,
                              Texts::waitingPrefix + QString::number(seconds) +
                                  Texts::secondsSuffix);
}
