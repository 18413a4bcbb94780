// The register image of one poll-list row and the station: layout, float32
// in both word orders and the quality of a row's values, against values
// worked out by hand.
#include "modbus/modbusregistermap.h"
#include "model/channelentry.h"
#include "model/stationtexts.h"

#include <QTest>
#include <array>
#include <cmath>
#include <cstring>

namespace {
using Map = ModbusRegisterMap;
using Order = ModbusSettings::WordOrder;

const QDateTime kNow(QDate(2026, 12, 10), QTime(9, 30, 0));

// The float in registers at..at+1, by the test's own byte arithmetic.
float floatAt(const std::array<quint16, Map::kRowBlockSize>& block, int at, Order order)
{
    const quint32 high = order == Order::ABCD ? block[size_t(at)] : block[size_t(at + 1)];
    const quint32 low = order == Order::ABCD ? block[size_t(at + 1)] : block[size_t(at)];
    const quint32 bits = (high << 16) | low;
    float value = 0;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}
} // namespace

class TestModbusRegisterMap : public QObject {
    Q_OBJECT

private slots:
    void floatsInBothWordOrders_data()
    {
        QTest::addColumn<float>("value");
        QTest::addColumn<int>("order");
        QTest::addColumn<quint16>("first");
        QTest::addColumn<quint16>("second");
        QTest::newRow("1.0, ABCD") << 1.0f << int(Order::ABCD) << quint16(0x3F80) << quint16(0);
        QTest::newRow("1.0, CDAB") << 1.0f << int(Order::CDAB) << quint16(0) << quint16(0x3F80);
        QTest::newRow("-2.5, ABCD") << -2.5f << int(Order::ABCD) << quint16(0xC020) << quint16(0);
        QTest::newRow("123.456, ABCD")
            << 123.456f << int(Order::ABCD) << quint16(0x42F6) << quint16(0xE979);
        QTest::newRow("123.456, CDAB")
            << 123.456f << int(Order::CDAB) << quint16(0xE979) << quint16(0x42F6);
    }
    void floatsInBothWordOrders()
    {
        QFETCH(float, value);
        QFETCH(int, order);
        QFETCH(quint16, first);
        QFETCH(quint16, second);
        std::array<quint16, 2> at{};
        Map::writeFloat(at, value, Order(order));
        QCOMPARE(at[0], first);
        QCOMPARE(at[1], second);
    }

    void quality_data()
    {
        QTest::addColumn<int>("answerSecondsAgo"); // -1: nothing accepted yet
        QTest::addColumn<int>("timeout");
        QTest::addColumn<QString>("statusCell");
        QTest::addColumn<int>("quality");
        QTest::addColumn<int>("age");
        const QString data = Texts::dataReceived;
        const QString silent = Texts::blockNotAnswering;
        QTest::newRow("nothing yet") << -1 << 3 << QString() << 0 << 0xFFFF;
        QTest::newRow("nothing yet, block not answering") << -1 << 3 << silent << 3 << 0xFFFF;
        QTest::newRow("2 s ago, timeout 3") << 2 << 3 << data << 1 << 2;
        QTest::newRow("at the limit of 3 x 3 s") << 9 << 3 << data << 1 << 9;
        QTest::newRow("one second past the limit") << 10 << 3 << data << 2 << 10;
        QTest::newRow("not answering within the limit") << 5 << 3 << silent << 3 << 5;
        QTest::newRow("active block silent") << 5 << 3 << Texts::noDataFromBlock << 3 << 5;
        QTest::newRow("not answering past the limit") << 10 << 3 << silent << 2 << 10;
        QTest::newRow("timeout 0 counts as 1 s") << 4 << 0 << data << 2 << 4;
        QTest::newRow("port lost, past the limit")
            << 30 << 3 << Texts::portMissingOrBusy << 2 << 30;
        QTest::newRow("age caps below 65535") << 100000 << 100000 << data << 1 << 65534;
    }
    void quality()
    {
        QFETCH(int, answerSecondsAgo);
        QFETCH(int, timeout);
        QFETCH(QString, statusCell);
        QFETCH(int, quality);
        QFETCH(int, age);
        LatestAnswers::Entry entry;
        if (answerSecondsAgo >= 0)
            entry.lastReceived = kNow.addSecs(-answerSecondsAgo);
        ChannelEntry channel;
        channel.timeoutSeconds = timeout;
        std::array<quint16, Map::kRowBlockSize> block{};
        Map::writeFreshness(block, entry, channel, statusCell, kNow);
        QCOMPARE(int(block[Map::Quality]), quality);
        QCOMPARE(int(block[Map::Age]), age);
    }

    void rowBlockCarriesTheMeasurement_data()
    {
        QTest::addColumn<int>("order");
        QTest::newRow("ABCD") << int(Order::ABCD);
        QTest::newRow("CDAB") << int(Order::CDAB);
    }
    void rowBlockCarriesTheMeasurement()
    {
        QFETCH(int, order);
        MeasurementRecord m;
        for (int i = 0; i < MeasurementRecord::kColumnCount; ++i)
            m.numbers[size_t(i)] = i < 2 ? std::nan("") : 1000.0 + i * 0.5;
        m.year = 2026;
        m.month = 12;
        m.day = 9;
        m.hour = 23;
        m.minute = 39;
        m.second = 18;
        LatestAnswers::Entry entry;
        entry.measurement = m;
        entry.lastReceived = kNow.addSecs(-1);
        entry.status = 0x10;
        entry.statusCode = 0x02;
        ChannelEntry channel;
        channel.terminal = QStringLiteral("Терминал3");
        channel.timeoutSeconds = 2;
        std::array<quint16, Map::kRowBlockSize> block;
        block.fill(0xAAAA);
        Map::writeRow(block, entry, channel, Texts::dataReceived, kNow, Order(order));

        const std::array<quint16, 11> head = {0x10, 1, 1, 2026, 12, 9, 23, 39, 18, 3, 2};
        for (size_t i = 0; i < head.size(); ++i)
            QCOMPARE(block[i], head[i]);
        // "Адрес датчика" (column 3) first, "АЦП" (column 29) last.
        QCOMPARE(floatAt(block, 11, Order(order)), 1001.0f);
        QCOMPARE(floatAt(block, 11 + 2 * 26, Order(order)), 1014.0f);
        for (int i = 0; i < 27; ++i)
            QCOMPARE(floatAt(block, 11 + 2 * i, Order(order)), float(1001.0 + i * 0.5));
        for (size_t i = 65; i < block.size(); ++i)
            QCOMPARE(block[i], quint16(0));
    }

    void rowBlockBeforeAnyAnswer()
    {
        ChannelEntry channel;
        channel.terminal = Texts::notConnected;
        std::array<quint16, Map::kRowBlockSize> block;
        block.fill(0xAAAA);
        Map::writeRow(block, LatestAnswers::Entry(), channel, QStringLiteral("-"), kNow,
                      Order::ABCD);
        QCOMPARE(block[Map::Quality], quint16(0));
        QCOMPARE(block[Map::Age], quint16(0xFFFF));
        QCOMPARE(block[Map::Terminal], quint16(0));
        QCOMPARE(block[Map::Year], quint16(0));
        // NaN: a host can tell "no value" from 0.
        QCOMPARE(block[11], quint16(0x7FC0));
        QCOMPARE(block[12], quint16(0));
    }

    void terminalStates_data()
    {
        QTest::addColumn<QString>("status");
        QTest::addColumn<int>("state");
        QTest::newRow("undefined") << Texts::portUndefined << 0;
        QTest::newRow("connected") << Texts::portConnected << 1;
        QTest::newRow("busy") << Texts::portBusy << 2;
        QTest::newRow("never opened") << QString() << 0;
    }
    void terminalStates()
    {
        QFETCH(QString, status);
        QFETCH(int, state);
        QCOMPARE(int(Map::terminalState(status)), state);
    }

    void theMapIsContiguous()
    {
        // Thirty row blocks, then the station block right behind them.
        QCOMPARE(Map::kStationBlock, 3000);
        QCOMPARE(Map::kRowRegistersUsed, 65);
        QCOMPARE(Map::kRegisterCount, 3015);
    }
};

QTEST_GUILESS_MAIN(TestModbusRegisterMap)
#include "tst_modbusregistermap.moc"
