#pragma once

#include "model/outcome.h"

#include <QString>

class QHostAddress;
class QTcpServer;

// Texts both TCP services show: addresses in the connection grids and the error
// of a listen that failed.
namespace TcpTexts {

// Dotted decimal for IPv4 peers, also when they arrive on a dual-stack socket.
QString address(const QHostAddress& address);

// "Windows socket error: %s (%d), on API '%s'" for the server's last error.
Outcome listenFailure(const QTcpServer& server);

} // namespace TcpTexts
