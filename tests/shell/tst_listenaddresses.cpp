// Where the station's two TCP services listen, from the settings or the
// command line, and the live service's forwarded requests turned off.
#include "fixedclock.h"
#include "freeport.h"
#include "settingsfixture.h"
#include "stationprobe.h"

#include "model/stationtexts.h"
#include "shell/station.h"

#include <QHostAddress>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

bool connects(const QString& address, quint16 port)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress(address), port);
    return socket.waitForConnected(2000);
}

} // namespace

class TestListenAddresses : public QObject {
    Q_OBJECT

private slots:
    void onlyTheChosenAddressIsListenedOn()
    {
        SettingsFixture settings;
        const quint16 livePort = freePort();
        settings.setRoot(u"TCP_IP_Port"_s, QString::number(livePort));
        settings.setRoot(u"ListenAddress"_s, u"127.0.0.1"_s);
        settings.setRoot(u"HistoryListenAddress"_s, u"127.0.0.2"_s);
        FixedClock clock;
        const quint16 historyPort = freePort();
        Station station(settings.store(), clock, historyPort);
        station.start(false);
        QCOMPARE(station.liveListen().state(), ListenRetry::State::Listening);
        QCOMPARE(station.liveEndpoint(), u"127.0.0.1:%1"_s.arg(livePort));
        QCOMPARE(station.historyEndpoint(), u"127.0.0.2:%1"_s.arg(historyPort));
        // Both are loopback addresses of this machine: only the chosen one answers.
        QVERIFY(connects(u"127.0.0.1"_s, livePort));
        QVERIFY(!connects(u"127.0.0.2"_s, livePort));
        QVERIFY(connects(u"127.0.0.2"_s, historyPort));
        QVERIFY(!connects(u"127.0.0.1"_s, historyPort));
    }

    void theCommandLineWinsOverTheStoredAddress()
    {
        SettingsFixture settings;
        const quint16 livePort = freePort();
        settings.setRoot(u"TCP_IP_Port"_s, QString::number(livePort));
        settings.setRoot(u"ListenAddress"_s, u"127.0.0.1"_s);
        FixedClock clock;
        Station station(settings.store(), clock, 0);
        // An empty option means every interface, whatever is stored.
        station.overrideListenAddresses(u""_s, u"127.0.0.2"_s);
        station.start(false);
        QCOMPARE(station.liveEndpoint(), u"*:%1"_s.arg(livePort));
        QVERIFY(connects(u"127.0.0.2"_s, livePort));
        QVERIFY(StationProbe::historyService(station).isListening());
        QVERIFY(!connects(u"127.0.0.1"_s, StationProbe::historyService(station).port()));
    }

    void aStoredAddressThatNamesNoneKeepsTheServiceOnLoopback()
    {
        SettingsFixture settings;
        const quint16 livePort = freePort();
        settings.setRoot(u"TCP_IP_Port"_s, QString::number(livePort));
        settings.setRoot(u"ListenAddress"_s, u"eth0"_s);
        FixedClock clock;
        Station station(settings.store(), clock, 0);
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression(u"ListenAddress refused: \"eth0\" is not an IP"_s));
        station.start(false);
        QCOMPARE(station.liveEndpoint(), u"127.0.0.1:%1"_s.arg(livePort));
        QVERIFY(!connects(u"127.0.0.2"_s, livePort));
    }

    void aTakenPortIsRetriedAndShown()
    {
        QTcpServer occupier;
        QVERIFY(occupier.listen(QHostAddress::Any, 0));
        SettingsFixture settings;
        settings.setRoot(u"TCP_IP_Port"_s, QString::number(occupier.serverPort()));
        FixedClock clock;
        Station station(settings.store(), clock, 0);
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression(u"^live service cannot listen on \\*:\\d+ : "
                                                u"Windows socket error: .* - trying again"_s));
        station.start(false);
        QCOMPARE(station.liveListen().state(), ListenRetry::State::Retrying);
        QVERIFY(!station.liveListen().error().isEmpty());
        QCOMPARE(station.historyListen().state(), ListenRetry::State::Listening);
        occupier.close();
        QTRY_VERIFY_WITH_TIMEOUT(station.liveServer().isListening(), 2 * ListenRetry::kRetryMs);
        QCOMPARE(station.liveListen().state(), ListenRetry::State::Listening);
    }

    void forwardedRequestsCanBeTurnedOff_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<bool>("forwarded");
        QTest::newRow("absent: on") << QString() << true;
        QTest::newRow("1: on") << u"1"_s << true;
        QTest::newRow("0: off") << u"0"_s << false;
        QTest::newRow("anything else: off") << u"yes"_s << false;
    }
    void forwardedRequestsCanBeTurnedOff()
    {
        QFETCH(QString, stored);
        QFETCH(bool, forwarded);
        SettingsFixture settings;
        settings.setRoot(u"TCP_IP_Port"_s, QString::number(freePort()));
        if (!stored.isNull())
            settings.setRoot(u"ForwardRequests"_s, stored);
        settings.setChannel(1, u"Tank"_s, u"Терминал1"_s, Texts::modeOnRequest, u"1"_s, u"0"_s,
                            u"2"_s);
        FixedClock clock;
        Station station(settings.store(), clock, 0);
        if (stored == u"yes")
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"neither 0 nor 1"_s));
        station.start(false);
        QTcpSocket client;
        client.connectToHost(QHostAddress::LocalHost, station.liveServer().port());
        QVERIFY(client.waitForConnected(2000));
        QTRY_COMPARE(station.liveServer().clientCount(), 1);
        client.write("0105");
        QVERIFY(client.waitForBytesWritten(1000));
        if (forwarded) {
            QTRY_COMPARE(station.state().forwardRow, 1);
        } else {
            QTest::qWait(200);
            QCOMPARE(station.state().forwardRow, 0);
        }
    }
};

QTEST_GUILESS_MAIN(TestListenAddresses)
#include "tst_listenaddresses.moc"
