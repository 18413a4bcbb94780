#include "tcpkeepalive.h"

#include "model/logcategories.h"

#include <QAbstractSocket>
#include <QVariant>

#ifdef Q_OS_LINUX
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#endif

void enableTcpKeepAlive(QAbstractSocket& socket)
{
    socket.setSocketOption(QAbstractSocket::KeepAliveOption, QVariant(1));
#ifdef Q_OS_LINUX
    const int fd = int(socket.socketDescriptor());
    if (fd < 0)
        return;
    const int values[][2] = {{TCP_KEEPIDLE, TcpKeepAlive::kIdleSeconds},
                             {TCP_KEEPINTVL, TcpKeepAlive::kIntervalSeconds},
                             {TCP_KEEPCNT, TcpKeepAlive::kProbeCount}};
    for (const auto& [option, value] : values)
        if (setsockopt(fd, IPPROTO_TCP, option, &value, sizeof value) != 0)
            qCWarning(lcNet) << "keep-alive timing" << option << "not set on a connection";
#endif
}
