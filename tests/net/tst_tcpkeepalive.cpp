// Keep-alive with short timings on the connections both services accept, so a
// peer that vanished without a word is noticed within about a minute.
#include "../serial/serialrig.h"

#include "answers/liveserver.h"
#include "archive/archivereader.h"
#include "archive/historyservice.h"
#include "fixedclock.h"
#include "net/tcpkeepalive.h"
#include "serial/pollscheduler.h"
#include "settingsfixture.h"

#include <QAbstractSocket>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

namespace {

int option(const QAbstractSocket& socket, int level, int name)
{
    int value = -1;
    socklen_t size = sizeof value;
    if (getsockopt(int(socket.socketDescriptor()), level, name, &value, &size) != 0)
        return -1;
    return value;
}

// The accepted end of a connection to port, once the service has taken it.
QTcpSocket* acceptedBy(QObject& service, quint16 port, QTcpSocket& client)
{
    client.connectToHost(QHostAddress::LocalHost, port);
    if (!client.waitForConnected(3000))
        return nullptr;
    QTcpSocket* accepted = nullptr;
    (void)QTest::qWaitFor(
        [&] {
            const auto sockets = service.findChildren<QTcpSocket*>();
            accepted = sockets.isEmpty() ? nullptr : sockets.first();
            return accepted != nullptr;
        },
        3000);
    return accepted;
}

void verifyKeepAlive(const QAbstractSocket& socket)
{
    QCOMPARE(option(socket, SOL_SOCKET, SO_KEEPALIVE), 1);
    QCOMPARE(option(socket, IPPROTO_TCP, TCP_KEEPIDLE), 30);
    QCOMPARE(option(socket, IPPROTO_TCP, TCP_KEEPINTVL), 10);
    QCOMPARE(option(socket, IPPROTO_TCP, TCP_KEEPCNT), 3);
}

} // namespace

class TestTcpKeepAlive : public QObject {
    Q_OBJECT

private slots:
    void liveConnections()
    {
        SerialRig rig;
        PollScheduler scheduler{rig.state, rig.access, rig.blinker};
        LiveServer server{rig.state, scheduler};
        QVERIFY(server.listen(0));
        QTcpSocket client;
        QTcpSocket* accepted = acceptedBy(server, server.port(), client);
        QVERIFY(accepted);
        verifyKeepAlive(*accepted);
    }

    void historyConnections()
    {
        SettingsFixture settings;
        StationState state;
        ArchiveReader reader{settings.store()};
        FixedClock clock;
        HistoryService service{state, settings.store(), reader, clock};
        QVERIFY(service.listen(0));
        QTcpSocket client;
        QTcpSocket* accepted = acceptedBy(service, service.port(), client);
        QVERIFY(accepted);
        verifyKeepAlive(*accepted);
    }
};

QTEST_GUILESS_MAIN(TestTcpKeepAlive)
#include "tst_tcpkeepalive.moc"
