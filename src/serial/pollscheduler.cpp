#include "pollscheduler.h"

#include "iconblinker.h"
#include "terminalaccess.h"

#include "model/stationstate.h"

PollScheduler::PollScheduler(StationState& state, TerminalAccess& access, IconBlinker& blinker,
                             QObject* parent)
    : QObject(parent), m_state(state), m_access(access), m_blinker(blinker)
{
}

void PollScheduler::TimerSendQuerryTimer() {}

bool PollScheduler::SendRequest(int, quint8, quint8)
{
    return false;
}

void PollScheduler::setForwardedRequest(const QByteArray& frame, int row)
{
    m_state.forwardFrame = frame;
    m_state.forwardRow = row;
}
