#include "fixedclock.h"
#include "model/stationtexts.h"
#include "pseudoterminal.h"
#include "settingsfixture.h"
#include "shell/station.h"
#include "stationprobe.h"

#include <QSerialPort>
#include <QTest>

namespace {
QList<int> queue(const PollQueue& q)
{
    return QList<int>(q.entries.begin(), q.entries.begin() + q.count);
}
} // namespace

class TestApplies : public QObject {
    Q_OBJECT
private:
    struct Fixture {
        SettingsFixture settings;
        FixedClock clock;
        std::unique_ptr<Station> station;

        Fixture()
        {
            settings.setRoot(QStringLiteral("TCP_IP_Port"), QStringLiteral("0"));
            for (int row = 1; row <= 30; ++row)
                settings.setChannel(row, QStringLiteral("К%1").arg(row),
                                    QStringLiteral("Терминал2"), Texts::modeOnRequest,
                                    QString::number(row), QStringLiteral("0"),
                                    QStringLiteral("10"));
            station = std::make_unique<Station>(settings.store(), clock, 0);
            station->start(false);
        }
        StationState& state() { return station->state(); }
        CellGrid& grid() { return station->state().queryList; }
        QString stored(int row, const char16_t* value)
        {
            return settings.store().readSetting(SettingsStore::channelKey(row),
                                                QString::fromUtf16(value));
        }
    };

private slots:
    void pollListIsStoredAsShownAndRebuildsTheQueues()
    {
        Fixture f;
        f.state().pollQueues[1].next = 7;
        f.state().poll.requested(1, 0);
        f.grid().setText(1, QueryColumn::Address, QStringLiteral("300"));
        f.grid().setText(4, QueryColumn::Mode, Texts::modeActive);
        f.grid().setText(5, QueryColumn::Terminal, Texts::notConnected);
        f.grid().setText(6, QueryColumn::Terminal, QStringLiteral("Терминал10"));
        f.grid().setText(6, QueryColumn::Timeout, QStringLiteral("3"));
        f.grid().setText(7, QueryColumn::Version, QStringLiteral("typed"));
        f.grid().setCell(7, QueryColumn::Status, QStringLiteral("ПДЛ не отвечает"),
                         CellColour::Red);

        QVERIFY(f.station->applyPollList().ok());

        QCOMPARE(f.stored(1, u"AddresBO"), QStringLiteral("300"));
        QCOMPARE(f.state().channels[0].blockAddress, quint8(44));
        QCOMPARE(f.stored(4, u"Regime"), Texts::modeActive);
        QCOMPARE(f.stored(6, u"Terminal"), QStringLiteral("Терминал10"));
        QCOMPARE(f.stored(30, u"ChannelName"), QStringLiteral("К30"));
        QList<int> expected;
        for (int k = 0; k < 30; ++k)
            if (k != 3 && k != 4 && k != 5)
                expected.append(k);
        QCOMPARE(queue(f.state().pollQueues[1]), expected);
        QCOMPARE(queue(f.state().pollQueues[9]), QList<int>{5});
        QCOMPARE(f.state().pollQueues[1].next, 0);
        QVERIFY(!f.state().poll.isPending(1));
        QVERIFY(!f.state().poll.isAwaiting(0));
        QVERIFY(f.state().poll.isAwaiting(3));
        QCOMPARE(f.state().countdownSeconds[5], 3.0);
        // Status texts stay; the version column is never stored.
        QCOMPARE(f.grid().text(7, QueryColumn::Status), QStringLiteral("ПДЛ не отвечает"));
        QCOMPARE(f.grid().text(7, QueryColumn::Version), QStringLiteral("typed"));
        QCOMPARE(f.settings.store().readSetting(SettingsStore::channelKey(7),
                                                QStringLiteral("Версия ПО датчика")),
                 QString());
    }

    void badNumberChangesNothing_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("column");
        QTest::addColumn<QString>("text");
        QTest::newRow("row 1 timeout emptied") << 1 << int(QueryColumn::Timeout) << QString();
        QTest::newRow("row 17 address with a letter")
            << 17 << int(QueryColumn::Address) << QStringLiteral("1a");
        QTest::newRow("row 30 channel blank")
            << 30 << int(QueryColumn::Channel) << QStringLiteral(" ");
    }
    void badNumberChangesNothing()
    {
        QFETCH(int, row);
        QFETCH(int, column);
        QFETCH(QString, text);
        Fixture f;
        f.state().pollQueues[1].next = 4;
        f.state().poll.requested(1, -1);
        f.grid().setText(2, QueryColumn::Name, QStringLiteral("changed"));
        f.grid().setText(row, column, text);

        const Outcome result = f.station->applyPollList();
        QVERIFY(!result.ok());
        QCOMPARE(result.error(), QStringLiteral("'%1' is not a valid integer value").arg(text));
        QCOMPARE(f.stored(2, u"ChannelName"), QStringLiteral("К2"));
        QCOMPARE(f.state().channels[1].name, QStringLiteral("К2"));
        QCOMPARE(f.state().pollQueues[1].count, 30);
        QCOMPARE(f.state().pollQueues[1].next, 4);
        QVERIFY(f.state().poll.isPending(1));
    }

    void firstBadCellIsNamed()
    {
        Fixture f;
        f.grid().setText(3, QueryColumn::Timeout, QStringLiteral("t3"));
        f.grid().setText(2, QueryColumn::Channel, QStringLiteral("c2"));
        QCOMPARE(f.station->applyPollList().error(),
                 QStringLiteral("'c2' is not a valid integer value"));
    }

    void terminalsAreStoredAndReopened()
    {
        Fixture f;
        PseudoTerminal first;
        PseudoTerminal second;
        f.settings.mapPort(QStringLiteral("COM1"), first.slavePath());
        f.settings.mapPort(QStringLiteral("COM2"), second.slavePath());
        CellGrid& rs = f.state().rsSettings;
        rs.setText(RsRow::ComName, 1, QStringLiteral("COM1"));
        rs.setText(RsRow::BaudRate, 1, QStringLiteral("115200"));
        rs.setText(RsRow::DataBits, 1, QStringLiteral("7"));
        rs.setText(RsRow::StopBits, 1, QStringLiteral("1.5"));
        rs.setText(RsRow::Parity, 1, QStringLiteral("Чет"));
        rs.setText(RsRow::ComName, 2, QStringLiteral("COM2"));
        QVERIFY(f.station->applyTerminals().ok());

        const QString key = SettingsStore::terminalKey(1);
        QCOMPARE(f.settings.store().readSetting(key, QStringLiteral("BaudRate")),
                 QStringLiteral("115200"));
        QCOMPARE(f.settings.store().readSetting(key, QStringLiteral("StopBits")),
                 QStringLiteral("1.5"));
        QCOMPARE(f.settings.store().readSetting(key, QStringLiteral("Parity")),
                 QStringLiteral("Чет"));
        QCOMPARE(f.state().terminals[0].dataBits, QStringLiteral("7"));
        QCOMPARE(rs.text(RsRow::Status, 1), Texts::portConnected);
        QCOMPARE(rs.colour(RsRow::Status, 1), CellColour::Green);
        QCOMPARE(f.state().terminals[0].port->dataBits(), QSerialPort::Data8);
        QCOMPARE(f.state().terminals[0].port->baudRate(), 115200);
        // Never configured: stored empty, cannot open.
        QCOMPARE(rs.text(RsRow::Status, 3), Texts::portBusy);

        // A half-received frame is dropped; a port set to "Не определен" stays open.
        StationProbe::receiver(*f.station).takeBytes(1, ":01340", 6);
        QVERIFY(StationProbe::receiver(*f.station).assembler(1).inFrame());
        QCOMPARE(StationProbe::receiver(*f.station).assembler(1).writeIndex(), 5);
        rs.setText(RsRow::ComName, 2, Texts::portUndefined);
        QVERIFY(f.station->applyTerminals().ok());
        QVERIFY(!StationProbe::receiver(*f.station).assembler(1).inFrame());
        QCOMPARE(StationProbe::receiver(*f.station).assembler(1).writeIndex(), 0);
        QCOMPARE(rs.text(RsRow::Status, 2), QStringLiteral("-"));
        QCOMPARE(rs.colour(RsRow::Status, 2), CellColour::Black);
        QVERIFY(f.state().terminals[1].port->isOpen());
    }
};

QTEST_GUILESS_MAIN(TestApplies)
#include "tst_applies.moc"
