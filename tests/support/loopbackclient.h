#pragma once

#include <QtGlobal>

// A plain blocking connection to a loopback port, serviced by nobody; with a
// receive buffer of receiveBuffer bytes when it is above 0. The descriptor, or -1.
int connectLoopbackClient(quint16 port, int receiveBuffer = 0);
