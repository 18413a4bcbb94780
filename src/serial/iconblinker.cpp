#include "iconblinker.h"

#include "model/stationstate.h"

#include <QTimer>

IconBlinker::IconBlinker(StationState& state, QTimer& timerBlink, QObject* parent)
    : QObject(parent), m_state(state), m_timerBlink(timerBlink)
{
}

void IconBlinker::flash(int iconState)
{
    m_state.iconState = iconState;
    emit iconStateChanged(iconState);
    if (!m_timerBlink.isActive())
        m_timerBlink.start();
}

void IconBlinker::TimerBlinkTimer()
{
    m_state.iconState = 0;
    emit iconStateChanged(0);
    m_timerBlink.stop();
}
