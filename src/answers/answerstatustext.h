#pragma once

#include <QString>
#include <QtGlobal>

// The status text the poll-list grid shows for a status answer of a block, by
// its status byte and sensor address; "Получены данные" where the status has no
// text of its own. For the clients that show what the station shows.
QString answerStatusText(quint8 status, quint8 sensorAddress);
