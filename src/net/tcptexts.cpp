#include "tcptexts.h"

#include <QHostAddress>
#include <QTcpServer>

namespace TcpTexts {

QString address(const QHostAddress& address)
{
    bool ok = false;
    const quint32 v4 = address.toIPv4Address(&ok);
    if (ok)
        return QHostAddress(v4).toString();
    return address.toString();
}

Outcome listenFailure(const QTcpServer& server)
{
    const QAbstractSocket::SocketError error = server.serverError();
    // The operating system refuses the address at bind, everything else at listen.
    const bool atBind = error == QAbstractSocket::AddressInUseError ||
                        error == QAbstractSocket::SocketAccessError ||
                        error == QAbstractSocket::SocketAddressNotAvailableError;
    return Outcome::failure(QStringLiteral("Windows socket error: %1 (%2), on API '%3'")
                                .arg(server.errorString())
                                .arg(int(error))
                                .arg(atBind ? QStringLiteral("bind") : QStringLiteral("listen")));
}

} // namespace TcpTexts
