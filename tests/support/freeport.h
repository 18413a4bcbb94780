#pragma once

#include <QHostAddress>
#include <QTcpServer>

// A TCP port nothing listens on now, on any interface, for a service under test.
inline quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::Any, 0);
    return probe.serverPort();
}
