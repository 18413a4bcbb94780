// The Modbus TCP service on loopback with Qt's own Modbus client: both
// register tables serve the latest answers, every write and every read
// outside the map is refused with its exception, freshness follows the clock,
// and clients are capped, closed when idle or when they take no replies, and
// logged a few lines at a time.
#include "fixedclock.h"
#include "freeport.h"
#include "measurementanswer.h"

#include "answers/acceptedanswer.h"
#include "answers/latestanswers.h"
#include "modbus/modbusregistermap.h"
#include "modbus/modbusservice.h"
#include "model/stationstate.h"
#include "model/stationtexts.h"
#include "net/connectionlog.h"

#include <QModbusTcpClient>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <arpa/inet.h>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
using Map = ModbusRegisterMap;

ModbusSettings settingsOn(quint16 port, const QString& wordOrder = QString(),
                          const QString& address = QString())
{
    ModbusSettings s;
    s.address = address;
    s.port = QString::number(port);
    s.wordOrder = wordOrder;
    return s;
}

// Collects the station's warnings of one category while it lives.
struct LogCapture {
    LogCapture() { s_lines.clear(), s_previous = qInstallMessageHandler(handler); }
    ~LogCapture() { qInstallMessageHandler(s_previous); }
    static QStringList lines(const QString& containing) { return s_lines.filter(containing); }
    static void handler(QtMsgType type, const QMessageLogContext& context, const QString& text)
    {
        if (context.category && qstrcmp(context.category, "kx7r.modbus") == 0)
            s_lines.append(text);
        s_previous(type, context, text);
    }
    static inline QStringList s_lines;
    static inline QtMessageHandler s_previous = nullptr;
};

struct Rig {
    Rig()
    {
        state.channels[1].terminal = QStringLiteral("Терминал2");
        state.channels[1].timeoutSeconds = 2;
    }
    StationState state;
    FixedClock clock{QDateTime(QDate(2026, 12, 10), QTime(9, 30, 6))};
    LatestAnswers latest{clock};
    ModbusService service{state, latest, clock};
};

struct Client {
    explicit Client(quint16 port)
    {
        modbus.setConnectionParameter(QModbusDevice::NetworkAddressParameter,
                                      QStringLiteral("127.0.0.1"));
        modbus.setConnectionParameter(QModbusDevice::NetworkPortParameter, port);
        modbus.setTimeout(2000);
        modbus.setNumberOfRetries(0);
    }
    bool connect()
    {
        modbus.connectDevice();
        return QTest::qWaitFor([&] { return modbus.state() == QModbusDevice::ConnectedState; },
                               5000);
    }
    // The exception code of an exception reply, -1 for any other. Qt 6.4 keeps
    // the reply's function code sign-extended in its enum, which no code may
    // load, so the one-byte body tells an exception apart.
    static int exceptionOf(const QModbusResponse& response)
    {
        return response.data().size() == 1 ? quint8(response.data().at(0)) : -1;
    }
    // The reply's PDU; an exception reply as it came.
    QModbusResponse send(const QModbusRequest& request)
    {
        std::unique_ptr<QModbusReply> reply(modbus.sendRawRequest(request, 1));
        if (!reply)
            return {};
        if (!QTest::qWaitFor([&] { return reply->isFinished(); }, 5000))
            return {};
        return reply->rawResult();
    }
    QList<quint16> read(QModbusPdu::FunctionCode code, quint16 address, quint16 count)
    {
        const QModbusResponse response = send(QModbusRequest(code, address, count));
        if (response.isException() || response.dataSize() != 1 + 2 * count)
            return {};
        QList<quint16> values;
        const QByteArray data = response.data();
        for (int i = 0; i < count; ++i)
            values.append(quint16((quint8(data[1 + 2 * i]) << 8) | quint8(data[2 + 2 * i])));
        return values;
    }
    QModbusTcpClient modbus;
};

float floatOf(quint16 high, quint16 low)
{
    const quint32 bits = (quint32(high) << 16) | low;
    float value = 0;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}
} // namespace

class TestModbusService : public QObject {
    Q_OBJECT

private slots:
    void bothTablesServeTheLatestAnswer_data()
    {
        QTest::addColumn<QString>("wordOrder");
        QTest::newRow("ABCD") << QStringLiteral("ABCD");
        QTest::newRow("CDAB") << QStringLiteral("CDAB");
    }
    void bothTablesServeTheLatestAnswer()
    {
        QFETCH(QString, wordOrder);
        Rig rig;
        const quint16 port = freePort();
        QVERIFY(rig.service.start(settingsOn(port, wordOrder)));
        rig.latest.accept(measurementAnswer(1, 200.0));

        Client client(port);
        QVERIFY(client.connect());
        for (const auto code : {QModbusPdu::ReadInputRegisters, QModbusPdu::ReadHoldingRegisters}) {
            const QList<quint16> block = client.read(code, 100, 100);
            QCOMPARE(block.size(), 100);
            // status 0x10, fresh, accepted now, 10.12.2026 09:30:05, terminal 2, no status answer
            QCOMPARE(block.mid(0, 11), (QList<quint16>{0x10, 1, 0, 2026, 12, 10, 9, 30, 5, 2, 0}));
            for (int i = 0; i < 27; ++i) {
                const quint16 a = block[11 + 2 * i];
                const quint16 b = block[12 + 2 * i];
                const float value = wordOrder == u"ABCD" ? floatOf(a, b) : floatOf(b, a);
                QCOMPARE(value, float(200.0 + 2 + i));
            }
        }
        // Row 1 has no answer; the station block counts one fresh channel.
        QCOMPARE(client.read(QModbusPdu::ReadInputRegisters, 1, 2), (QList<quint16>{0, 0xFFFF}));
        QCOMPARE(client.read(QModbusPdu::ReadInputRegisters, 3010, 3), (QList<quint16>{1, 0, 0}));
        QCOMPARE(client.read(QModbusPdu::ReadHoldingRegisters, 3014, 1).size(), 1);
    }

    void refusalsCarryTheirException_data()
    {
        QTest::addColumn<int>("function");
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<int>("exception");
        auto words = [](std::initializer_list<quint16> values) {
            QByteArray bytes;
            for (quint16 v : values)
                bytes += char(v >> 8), bytes += char(v & 0xFF);
            return bytes;
        };
        QTest::newRow("write single register")
            << int(QModbusPdu::WriteSingleRegister) << words({100, 7}) << 1;
        QTest::newRow("write multiple registers")
            << int(QModbusPdu::WriteMultipleRegisters)
            << words({0, 1}) + QByteArray("\x02\x00\x07", 3) << 1;
        QTest::newRow("write single coil")
            << int(QModbusPdu::WriteSingleCoil) << words({0, 0xFF00}) << 1;
        QTest::newRow("read and write registers")
            << int(QModbusPdu::ReadWriteMultipleRegisters)
            << words({0, 1, 0, 1}) + QByteArray("\x02\x00\x07", 3) << 1;
        QTest::newRow("diagnostics") << int(QModbusPdu::Diagnostics) << words({0, 0}) << 1;
        QTest::newRow("read coils") << int(QModbusPdu::ReadCoils) << words({0, 1}) << 2;
        QTest::newRow("read discrete inputs")
            << int(QModbusPdu::ReadDiscreteInputs) << words({0, 8}) << 2;
        QTest::newRow("input registers one past the end")
            << int(QModbusPdu::ReadInputRegisters) << words({3014, 2}) << 2;
        QTest::newRow("holding registers beyond the map")
            << int(QModbusPdu::ReadHoldingRegisters) << words({2990, 125}) << 2;
        QTest::newRow("register 65535")
            << int(QModbusPdu::ReadInputRegisters) << words({65535, 1}) << 2;
        QTest::newRow("126 registers at once")
            << int(QModbusPdu::ReadInputRegisters) << words({0, 126}) << 3;
    }
    void refusalsCarryTheirException()
    {
        QFETCH(int, function);
        QFETCH(QByteArray, data);
        QFETCH(int, exception);
        Rig rig;
        const quint16 port = freePort();
        QVERIFY(rig.service.start(settingsOn(port)));
        const std::vector<quint16> before = rig.service.registers();
        Client client(port);
        QVERIFY(client.connect());
        const QModbusResponse response =
            client.send(QModbusRequest(QModbusPdu::FunctionCode(function), data));
        QCOMPARE(Client::exceptionOf(response), exception);
        QVERIFY(rig.service.registers() == before);
        // The connection stays usable.
        QCOMPARE(client.read(QModbusPdu::ReadInputRegisters, 0, 1).size(), 1);
    }

    void badRequestsAreLoggedAFewPerClient()
    {
        Rig rig;
        const quint16 port = freePort();
        QVERIFY(rig.service.start(settingsOn(port)));
        LogCapture log;
        Client client(port);
        QVERIFY(client.connect());
        for (int i = 0; i < 8; ++i) {
            const QModbusResponse response = client.send(
                QModbusRequest(QModbusPdu::WriteSingleRegister, quint16(100), quint16(i)));
            QCOMPARE(Client::exceptionOf(response), 1);
        }
        const QStringList refused = LogCapture::lines(QStringLiteral("refused: read-only"));
        QCOMPARE(refused.size(), 5);
        QVERIFY2(refused.first().startsWith(QStringLiteral("Modbus client 127.0.0.1:")),
                 qPrintable(refused.first()));
        client.modbus.disconnectDevice();
        QTRY_COMPARE(rig.service.clientCount(), 0);
        QCOMPARE(LogCapture::lines(QStringLiteral("sent 3 more bad requests")).size(), 1);
    }

    void qualityTurnsStaleAtTheNextRefresh()
    {
        Rig rig;
        const quint16 port = freePort();
        QVERIFY(rig.service.start(settingsOn(port)));
        rig.latest.accept(measurementAnswer(1, 10.0));
        const quint16* block = rig.service.registers().data() + 100;
        QCOMPARE(block[Map::Quality], quint16(Map::Fresh));
        const std::vector<quint16> values(block + Map::Values, block + Map::kRowRegistersUsed);

        // Timeout 2 s: stale once more than 6 s have passed, values kept.
        rig.clock.set(rig.clock.now().addSecs(6));
        rig.service.refresh();
        QCOMPARE(block[Map::Quality], quint16(Map::Fresh));
        QCOMPARE(block[Map::Age], quint16(6));
        rig.clock.set(rig.clock.now().addMSecs(500));
        rig.service.refresh();
        QCOMPARE(block[Map::Quality], quint16(Map::Stale));
        QVERIFY(std::equal(values.begin(), values.end(), block + Map::Values));
        const quint16* station = rig.service.registers().data() + Map::kStationBlock;
        QCOMPARE(station[Map::FreshCount], quint16(0));
        QCOMPARE(station[Map::StaleCount], quint16(1));
        QCOMPARE(station[Map::Uptime + 1], quint16(6)); // started at the rig's first second

        // The refresh runs by itself at least once per receive tick.
        rig.latest.accept(measurementAnswer(1, 10.0));
        QCOMPARE(block[Map::Quality], quint16(Map::Fresh));
        rig.clock.set(rig.clock.now().addSecs(7));
        QTRY_COMPARE_WITH_TIMEOUT(block[Map::Quality], quint16(Map::Stale), 1000);
    }

    void clientsAreCappedAndIdleOnesClosed()
    {
        Rig rig;
        rig.service.setClientLimit(2);
        const quint16 port = freePort();
        QVERIFY(rig.service.start(settingsOn(port)));
        QTcpSocket first, second, third;
        for (QTcpSocket* socket : {&first, &second}) {
            socket->connectToHost(QHostAddress::LocalHost, port);
            QVERIFY(socket->waitForConnected(3000));
        }
        QTRY_COMPARE(rig.service.clientCount(), 2);
        // The station's ends are kept alive and read a bounded buffer at a time.
        const auto accepted = rig.service.findChildren<QTcpSocket*>();
        QCOMPARE(accepted.size(), 2);
        for (QTcpSocket* socket : accepted) {
            QCOMPARE(socket->socketOption(QAbstractSocket::KeepAliveOption).toInt(), 1);
            QCOMPARE(socket->readBufferSize(), ModbusService::kReadBufferSize);
        }
        third.connectToHost(QHostAddress::LocalHost, port);
        QVERIFY(third.waitForConnected(3000));
        QTRY_COMPARE(third.state(), QAbstractSocket::UnconnectedState);
        QCOMPARE(rig.service.clientCount(), 2);

        // One keeps asking, the other stays silent past the idle limit.
        rig.clock.set(rig.clock.now().addSecs(ModbusService::kIdleSeconds - 1));
        first.write(QByteArray::fromHex("000100000006010400000001"));
        QTRY_VERIFY(first.bytesAvailable() >= 11);
        rig.clock.set(rig.clock.now().addSecs(1));
        rig.service.closeIdleClients();
        QTRY_COMPARE(second.state(), QAbstractSocket::UnconnectedState);
        QCOMPARE(first.state(), QAbstractSocket::ConnectedState);
        QTRY_COMPARE(rig.service.clientCount(), 1);

        // Then the one that asked falls silent too.
        rig.clock.set(rig.clock.now().addSecs(ModbusService::kIdleSeconds - 1));
        rig.service.closeIdleClients();
        QTest::qWait(50);
        QCOMPARE(first.state(), QAbstractSocket::ConnectedState);
        rig.clock.set(rig.clock.now().addSecs(1));
        rig.service.closeIdleClients();
        QTRY_COMPARE(first.state(), QAbstractSocket::UnconnectedState);
        QTRY_COMPARE(rig.service.clientCount(), 0);
    }

    void clientChurnIsLoggedAFewLinesAMinute()
    {
        auto rig = std::make_unique<Rig>();
        const quint16 port = freePort();
        QVERIFY(rig->service.start(settingsOn(port)));
        LogCapture log;
        for (int i = 0; i < 30; ++i) {
            QTcpSocket socket;
            socket.connectToHost(QHostAddress::LocalHost, port);
            QVERIFY(socket.waitForConnected(3000));
            QTRY_COMPARE(rig->service.clientCount(), 1);
            socket.abort();
            QTRY_COMPARE(rig->service.clientCount(), 0);
        }
        const int logged =
            int(LogCapture::lines(QStringLiteral("Modbus client connected")).size() +
                LogCapture::lines(QStringLiteral("Modbus client disconnected")).size());
        QCOMPARE(logged, ConnectionLog::kLinesPerWindow);
        rig.reset();
        QCOMPARE(LogCapture::lines(
                     QStringLiteral("Modbus TCP service: 50 more lines about its clients left out"))
                     .size(),
                 1);
    }

    // Requests sent on and on while no reply is read: the station's backlog for
    // that client stays bounded and the client is closed.
    void aClientThatTakesNoRepliesIsClosed()
    {
        Rig rig;
        const quint16 port = freePort();
        QVERIFY(rig.service.start(settingsOn(port)));
        LogCapture log;
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        QVERIFY(fd >= 0);
        const int small = 4096;
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(port);
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        QCOMPARE(::connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to), 0);
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
        QTRY_COMPARE(rig.service.clientCount(), 1);

        // 125 registers: a 259-byte reply to every 12-byte request.
        QByteArray burst;
        for (int i = 0; i < 1000; ++i)
            burst += QByteArray::fromHex("00010000000601040000007D");
        bool closed = false;
        for (int round = 0; round < 2000 && !closed; ++round) {
            const ssize_t sent = ::send(fd, burst.constData(), size_t(burst.size()), MSG_NOSIGNAL);
            closed = (sent < 0 && errno != EAGAIN && errno != EWOULDBLOCK) ||
                     rig.service.clientCount() == 0;
            QTest::qWait(1);
        }
        ::close(fd);
        QVERIFY(closed);
        QTRY_COMPARE(rig.service.clientCount(), 0);
        QCOMPARE(LogCapture::lines(QStringLiteral("does not take its replies: closed")).size(), 1);
    }

    // Restarted and destroyed with clients connected: the clients are closed and
    // (in the sanitized tree) nothing of theirs is left behind.
    void stoppingWithClientsConnectedClosesThem()
    {
        auto rig = std::make_unique<Rig>();
        const quint16 port = freePort();
        QVERIFY(rig->service.start(settingsOn(port)));
        QTcpSocket first;
        first.connectToHost(QHostAddress::LocalHost, port);
        QVERIFY(first.waitForConnected(3000));
        QTRY_COMPARE(rig->service.clientCount(), 1);
        QVERIFY(rig->service.start(settingsOn(port, QStringLiteral("CDAB"))));
        QTRY_COMPARE(first.state(), QAbstractSocket::UnconnectedState);
        QCOMPARE(rig->service.clientCount(), 0);

        Client second(port);
        QVERIFY(second.connect());
        QTRY_COMPARE(rig->service.clientCount(), 1);
        QCOMPARE(second.read(QModbusPdu::ReadInputRegisters, 0, 2).size(), 2);
        rig.reset();
        QTRY_COMPARE(second.modbus.state(), QModbusDevice::UnconnectedState);
    }

    void listensOnlyWhereTold()
    {
        Rig rig;
        const quint16 port = freePort();
        QVERIFY(rig.service.start(settingsOn(port, {}, QStringLiteral("127.0.0.2"))));
        QVERIFY(rig.service.isListening());
        QTcpSocket elsewhere;
        elsewhere.connectToHost(QHostAddress::LocalHost, port);
        QVERIFY(!elsewhere.waitForConnected(2000));
        QTcpSocket there;
        there.connectToHost(QHostAddress(QStringLiteral("127.0.0.2")), port);
        QVERIFY(there.waitForConnected(2000));

        // A port in use is refused with the reason, and the service stays off.
        Rig other;
        const Outcome taken =
            other.service.start(settingsOn(port, {}, QStringLiteral("127.0.0.2")));
        QVERIFY(!taken);
        QVERIFY2(
            taken.error().startsWith(QStringLiteral("Сервер Modbus TCP не запущен на 127.0.0.2:")),
            qPrintable(taken.error()));
        QVERIFY(!other.service.isListening());
        // No port: off.
        QVERIFY(rig.service.start(ModbusSettings()));
        QVERIFY(!rig.service.isListening());
    }
};

QTEST_GUILESS_MAIN(TestModbusService)
#include "tst_modbusservice.moc"
