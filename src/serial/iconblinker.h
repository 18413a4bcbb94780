#pragma once

#include <QObject>

class QTimer;
struct StationState;

// The notification icon's colour: traffic sets iconState to green (1) or red (2)
// and enables TimerBlink; its tick turns the icon black again. Enabling the
// running timer does not restart it, so black follows 200 ms after the first
// event since the icon was last black.
class IconBlinker : public QObject {
    Q_OBJECT
public:
    IconBlinker(StationState& state, QTimer& timerBlink, QObject* parent = nullptr);

    void flash(int iconState);
    void TimerBlinkTimer();

signals:
    void iconStateChanged(int iconState);

private:
    StationState& m_state;
    QTimer& m_timerBlink;
};
