#include "receiver.h"

#include "answerhandler.h"
#include "iconblinker.h"
#include "linemonitor.h"
#include "terminalaccess.h"

#include "model/stationstate.h"

Receiver::Receiver(StationState& state, TerminalAccess& access, IconBlinker& blinker,
                   LineMonitor& monitor, AnswerHandler& decoder, QObject* parent)
    : QObject(parent), m_state(state), m_access(access), m_blinker(blinker), m_monitor(monitor),
      m_decoder(decoder)
{
}

void Receiver::RSTimerTimer() {}

bool Receiver::DecodeFrame(int, int)
{
    return false;
}
