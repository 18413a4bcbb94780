// The TCP page's port Apply and the archive page's folder Apply and page-change
// reload, through the station.
#include "fixedclock.h"
#include "freeport.h"
#include "settingsfixture.h"
#include "stationprobe.h"

#include "shell/station.h"

#include <QAbstractSocket>
#include <QDir>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

namespace {

QString storedPort(SettingsFixture& settings)
{
    return settings.store().readSetting(SettingsStore::rootKey(), QStringLiteral("TCP_IP_Port"));
}

} // namespace

class TestNetworkSettings : public QObject {
    Q_OBJECT

private slots:
    void badPortTextKeepsTheServiceOnItsPort_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("error");
        const QString notANumber = QStringLiteral("'%1' is not a valid integer value");
        const QString outOfRange =
            QStringLiteral("Порт '%1' недопустим: номер порта должен быть от 1 до 65535");
        QTest::newRow("letters") << QStringLiteral("port") << notANumber;
        QTest::newRow("empty") << QString() << notANumber;
        QTest::newRow("zero") << QStringLiteral("0") << outOfRange;
        QTest::newRow("above 65535") << QStringLiteral("65536") << outOfRange;
        QTest::newRow("70000") << QStringLiteral("70000") << outOfRange;
        QTest::newRow("negative") << QStringLiteral("-5") << outOfRange;
        QTest::newRow("decimal point") << QStringLiteral("50.1") << notANumber;
    }
    void badPortTextKeepsTheServiceOnItsPort()
    {
        QFETCH(QString, text);
        QFETCH(QString, error);
        SettingsFixture settings;
        const QString before = QString::number(freePort());
        settings.setRoot(QStringLiteral("TCP_IP_Port"), before);
        FixedClock clock;
        Station station(settings.store(), clock, 0);
        station.start(false);
        QVERIFY(station.liveServer().isListening());

        const Outcome applied = station.applyTcpPort(text);
        QVERIFY(!applied);
        QCOMPARE(applied.error(), error.arg(text));
        QVERIFY(station.liveServer().isListening());
        QCOMPARE(QString::number(station.liveServer().port()), before);
        QCOMPARE(storedPort(settings), before);
    }

    void portInUseRestoresThePreviousPort()
    {
        SettingsFixture settings;
        const QString before = QString::number(freePort());
        settings.setRoot(QStringLiteral("TCP_IP_Port"), before);
        FixedClock clock;
        Station station(settings.store(), clock, 0);
        station.start(false);
        QTcpServer occupier;
        QVERIFY(occupier.listen(QHostAddress::Any, 0));

        const Outcome applied = station.applyTcpPort(QString::number(occupier.serverPort()));
        QVERIFY(!applied);
        QVERIFY2(applied.error().startsWith(QStringLiteral("Windows socket error: ")),
                 qPrintable(applied.error()));
        QVERIFY2(applied.error().endsWith(QStringLiteral("on API 'bind'")),
                 qPrintable(applied.error()));
        QVERIFY(station.liveServer().isListening());
        QCOMPARE(QString::number(station.liveServer().port()), before);
        QCOMPARE(storedPort(settings), before);
    }

    void newPortIsStoredAsTypedAndClientsAreClosed()
    {
        SettingsFixture settings;
        settings.setRoot(QStringLiteral("TCP_IP_Port"), QString::number(freePort()));
        FixedClock clock;
        Station station(settings.store(), clock, 0);
        station.start(false);
        QTcpSocket client;
        client.connectToHost(QHostAddress::LocalHost, station.liveServer().port());
        QVERIFY(client.waitForConnected(3000));
        QTRY_COMPARE(station.liveServer().clientCount(), 1);
        const quint16 historyPort = StationProbe::historyService(station).port();

        const quint16 port = freePort();
        const QString typed = u'0' + QString::number(port); // a leading zero stays stored
        QVERIFY(station.applyTcpPort(typed));
        QCOMPARE(station.liveServer().port(), port);
        QCOMPARE(storedPort(settings), typed);
        QCOMPARE(station.state().currentConnections.rows(), 2);
        QVERIFY(station.state().currentConnections.text(1, 0).isEmpty());
        QTRY_COMPARE(client.state(), QAbstractSocket::UnconnectedState);
        // The history service is not touched.
        QVERIFY(StationProbe::historyService(station).isListening());
        QCOMPARE(StationProbe::historyService(station).port(), historyPort);
    }

    void archiveFolderIsStoredUnchangedAndReadBack()
    {
        SettingsFixture settings;
        settings.setRoot(QStringLiteral("HistoryFolder"), QStringLiteral("first"));
        FixedClock clock;
        Station station(settings.store(), clock, 0);
        station.start(false);
        QCOMPARE(station.readArchiveFolder(), QStringLiteral("first"));

        const QString missing = settings.dirPath() + QStringLiteral("/нет такой папки/");
        QVERIFY(station.applyArchiveFolder(missing));
        QCOMPARE(
            settings.store().readSetting(SettingsStore::rootKey(), QStringLiteral("HistoryFolder")),
            missing);
        QVERIFY(!QDir(missing).exists()); // not created
        // A page change shows what is stored, whatever was typed since.
        QCOMPARE(station.readArchiveFolder(), missing);
        settings.setRoot(QStringLiteral("HistoryFolder"), QStringLiteral("elsewhere"));
        QCOMPARE(station.readArchiveFolder(), QStringLiteral("elsewhere"));
    }
};

QTEST_GUILESS_MAIN(TestNetworkSettings)
#include "tst_networksettings.moc"
