#include "fixedclock.h"
#include "model/stationtexts.h"
#include "pseudoterminal.h"
#include "settingsfixture.h"
#include "shell/descriptorlimit.h"
#include "shell/station.h"
#include "stationprobe.h"

#include <QSerialPort>
#include <QTest>
#include <sys/resource.h>

namespace {
const QString onRequest = Texts::modeOnRequest;
const QString active = Texts::modeActive;

QList<int> queue(const PollQueue& q)
{
    return QList<int>(q.entries.begin(), q.entries.begin() + q.count);
}
} // namespace

class TestStartup : public QObject {
    Q_OBJECT
private slots:
    void tablesComeFromTheStore()
    {
        SettingsFixture settings;
        settings.setRoot(QStringLiteral("TCP_IP_Port"), QStringLiteral("0"));
        settings.setChannel(18, QStringLiteral("Р18"), QStringLiteral("Терминал3"), onRequest,
                            QStringLiteral("300"), QStringLiteral("2"), QStringLiteral("10"));
        settings.setChannel(6, QStringLiteral("Р6"), QStringLiteral("Терминал3"), onRequest,
                            QStringLiteral("1"), QStringLiteral("0"), QStringLiteral("5"));
        settings.setChannel(3, QStringLiteral("Р3"), QStringLiteral("Терминал3"), onRequest,
                            QStringLiteral("1"), QStringLiteral("1"), QStringLiteral("5"));
        settings.setChannel(4, QStringLiteral("Активный"), QStringLiteral("Терминал3"), active,
                            QStringLiteral("2"), QStringLiteral("0"), QStringLiteral("7"));
        settings.setChannel(10, QStringLiteral("T10"), QStringLiteral("Терминал10"), onRequest,
                            QStringLiteral("4"), QStringLiteral("0"), QStringLiteral("5"));
        settings.setChannel(11, QStringLiteral("space"), QStringLiteral("Терминал 3"), onRequest,
                            QStringLiteral("4"), QStringLiteral("1"), QStringLiteral("5"));
        settings.setChannel(12, QStringLiteral("bad"), QStringLiteral("Терминал1"), onRequest,
                            QStringLiteral("x1"), QStringLiteral("1"), QStringLiteral(""));
        settings.setRoot(QStringLiteral("HistoryFolder"), QStringLiteral("/archive"));
        FixedClock clock;
        Station station(settings.store(), clock, 0);
        station.start(false);
        StationState& s = station.state();

        QCOMPARE(queue(s.pollQueues[2]), (QList<int>{2, 5, 17}));
        QCOMPARE(queue(s.pollQueues[9]), (QList<int>{9}));
        QCOMPARE(queue(s.pollQueues[0]), (QList<int>{11}));
        for (int t : {1, 3, 4, 5, 6, 7, 8})
            QCOMPARE(s.pollQueues[t].count, 0);
        QCOMPARE(s.channels[17].blockAddress, quint8(44));
        QCOMPARE(s.queryList.text(18, QueryColumn::Address), QStringLiteral("44"));
        QCOMPARE(s.queryList.text(18, QueryColumn::Name), QStringLiteral("Р18"));
        QCOMPARE(s.queryList.text(18, QueryColumn::Mode), onRequest);
        QCOMPARE(s.queryList.text(18, QueryColumn::Timeout), QStringLiteral("10"));
        QCOMPARE(s.countdownSeconds[17], 10.0);
        QVERIFY(s.poll.isAwaiting(3));
        QVERIFY(!s.poll.isAwaiting(2));
        // A stored number that is not a number counts as 0 and is left as stored.
        QCOMPARE(s.channels[11].blockAddress, quint8(0));
        QCOMPARE(s.channels[11].timeoutSeconds, 0);
        QCOMPARE(
            settings.store().readSetting(SettingsStore::channelKey(12), QStringLiteral("AddresBO")),
            QStringLiteral("x1"));
        QCOMPARE(s.historyClientSeq, 1);
        QCOMPARE(s.iconState, 0);
        QCOMPARE(station.readArchiveFolder(), QStringLiteral("/archive"));
        QVERIFY(station.liveServer().isListening());
        QVERIFY(StationProbe::historyService(station).isListening());
        QVERIFY(!StationProbe::timerSendQuerry(station).isActive());
    }

    void allThirtyOnOneTerminal()
    {
        SettingsFixture settings;
        for (int row = 1; row <= 30; ++row)
            settings.setChannel(row, QString(), QStringLiteral("Терминал1"), onRequest,
                                QString::number(row), QStringLiteral("0"), QStringLiteral("5"));
        FixedClock clock;
        Station station(settings.store(), clock, 0);
        station.start(false);
        QCOMPARE(station.state().pollQueues[0].count, 30);
        QCOMPARE(station.state().pollQueues[0].entries[29], 29);
    }

    void terminalsAreShownAndOpened()
    {
        SettingsFixture settings;
        PseudoTerminal pty;
        settings.mapPort(QStringLiteral("COM1"), pty.slavePath());
        settings.setTerminal(1, QStringLiteral("COM1"), QStringLiteral("9600"));
        settings.setTerminal(2, Texts::portUndefined);
        settings.mapPort(QStringLiteral("COM3"), pty.slavePath() + u"-gone");
        settings.setTerminal(3, QStringLiteral("COM3"));
        FixedClock clock;
        Station station(settings.store(), clock, 0);
        station.start(false);
        const CellGrid& grid = station.state().rsSettings;
        QCOMPARE(grid.text(RsRow::ComName, 1), QStringLiteral("COM1"));
        QCOMPARE(grid.text(RsRow::BaudRate, 1), QStringLiteral("9600"));
        QCOMPARE(grid.text(RsRow::Parity, 1), QStringLiteral("Нет"));
        QCOMPARE(grid.text(RsRow::Status, 1), Texts::portConnected);
        QCOMPARE(grid.colour(RsRow::Status, 1), CellColour::Green);
        QCOMPARE(grid.text(RsRow::Status, 2), QStringLiteral("-"));
        QCOMPARE(grid.colour(RsRow::Status, 2), CellColour::Black);
        QCOMPARE(grid.text(RsRow::Status, 3), Texts::portBusy);
        QCOMPARE(grid.colour(RsRow::Status, 3), CellColour::Red);
        QSerialPort second(pty.slavePath());
        QVERIFY(!second.open(QIODevice::ReadWrite));
    }

    // Start-up (main) takes every descriptor the system allows and keeps a
    // reserve beside the live clients.
    void openFileLimitIsRaisedToTheHardLimit()
    {
        rlimit limit{};
        QCOMPARE(::getrlimit(RLIMIT_NOFILE, &limit), 0);
        const rlim_t hard = limit.rlim_max;
        QVERIFY(hard >= 256);
        limit.rlim_cur = 200;
        QCOMPARE(::setrlimit(RLIMIT_NOFILE, &limit), 0);

        const long descriptors = DescriptorLimit::raiseToHard();
        QCOMPARE(::getrlimit(RLIMIT_NOFILE, &limit), 0);
        QCOMPARE(limit.rlim_cur, hard);
        QCOMPARE(DescriptorLimit::liveClients(descriptors, 64), 64);
    }

    void liveClientsFitBesideTheReserve_data()
    {
        QTest::addColumn<long>("limit");
        QTest::addColumn<int>("clients");
        QTest::newRow("1024 descriptors") << 1024L << 64;
        QTest::newRow("192 descriptors: exactly 64 beside 128") << 192L << 64;
        QTest::newRow("160 descriptors") << 160L << 32;
        QTest::newRow("100 descriptors: one client still") << 100L << 1;
    }
    void liveClientsFitBesideTheReserve()
    {
        QFETCH(long, limit);
        QFETCH(int, clients);
        QCOMPARE(DescriptorLimit::liveClients(limit, 64), clients);
    }

    void badLivePortFallsBackToTheLayoutPort()
    {
        SettingsFixture settings;
        settings.setRoot(QStringLiteral("TCP_IP_Port"), QStringLiteral("port"));
        FixedClock clock;
        Station station(settings.store(), clock, 0);
        station.start(false);
        QCOMPARE(
            station.settings().readSetting(SettingsStore::rootKey(), QStringLiteral("TCP_IP_Port")),
            QStringLiteral("port"));
        // 5000 may be taken on this machine; the station runs on either way.
        if (station.liveServer().isListening())
            QCOMPARE(station.liveServer().port(), quint16(5000));
    }
};

QTEST_GUILESS_MAIN(TestStartup)
#include "tst_startup.moc"
