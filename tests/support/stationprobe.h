#pragma once

#include "shell/station.h"

// The parts of a Station that tests look at and the window never does.
struct StationProbe {
    static Receiver& receiver(Station& station) { return station.m_receiver; }
    static HistoryService& historyService(Station& station) { return station.m_historyService; }
    static QTimer& timerSendQuerry(Station& station) { return station.m_timerSendQuerry; }
    static IconBlinker& blinker(Station& station) { return station.m_blinker; }
    static PollScheduler& scheduler(Station& station) { return station.m_scheduler; }
    static Supervision& supervision(Station& station) { return station.m_supervision; }
};
