#include "supervision.h"

#include "terminalaccess.h"

#include "model/stationstate.h"

Supervision::Supervision(StationState& state, TerminalAccess& access, QObject* parent)
    : QObject(parent), m_state(state), m_access(access)
{
}

void Supervision::TimerWaitAnsewerTimer() {}
