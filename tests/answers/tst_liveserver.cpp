// The live service over loopback sockets: relay frames, the client grid,
// forwarded requests into the scheduler and the backlog cap of a slow client.
#include "../serial/serialrig.h"

#include "answers/answerrecord.h"
#include "answers/liveserver.h"
#include "loopbackclient.h"
#include "model/logcategories.h"
#include "net/badinputlog.h"
#include "serial/hexframe.h"
#include "serial/pollscheduler.h"

#include <QAbstractSocket>
#include <QDeadlineTimer>
#include <QHostAddress>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTest>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

struct LiveRig : SerialRig {
    PollScheduler scheduler{state, access, blinker};
    LiveServer server{state, scheduler};
};

std::unique_ptr<QTcpSocket> connectClient(LiveServer& server)
{
    auto socket = std::make_unique<QTcpSocket>();
    socket->connectToHost(QHostAddress::LocalHost, server.port());
    if (!socket->waitForConnected(3000))
        return nullptr;
    return socket;
}

int g_dropWarnings = 0;
int g_resumeLines = 0;
QtMessageHandler g_previousHandler = nullptr;

void countDropWarnings(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    if (text.contains(QStringLiteral("does not take its frames")))
        ++g_dropWarnings;
    if (text.contains(QStringLiteral("takes frames again")))
        ++g_resumeLines;
    g_previousHandler(type, context, text);
}

AnswerRecord recordOf(const QByteArray& bytes)
{
    AnswerRecord record;
    for (int i = 0; i < bytes.size() && i < AnswerRecord::kCapacity; ++i)
        record[i] = quint8(bytes[i]);
    return record;
}

} // namespace

class TestLiveServer : public QObject {
    Q_OBJECT

private slots:
    void relayFrameGoesToEveryClient_data()
    {
        QTest::addColumn<QByteArray>("record");
        QTest::addColumn<QByteArray>("frame");
        QTest::newRow("short record of 15.06.2024 14:45:30, empty name")
            << QByteArray::fromHex("FF340502001E2D0E0F0618") + QByteArray(10, ' ')
            << QByteArray(":FF340502001E2D0E0F0618" + QByteArray(10, ' ').toHex().toUpper() +
                          "00\r\n");
        // Byte i holds i * 7 (mod 256); the LRC B7 worked out by hand.
        QByteArray full(AnswerRecord::kFullLength, '\0');
        for (int i = 0; i < full.size(); ++i)
            full[i] = char(i * 7);
        full[0] = char(0xFF);
        full[1] = 0x34;
        QTest::newRow("full record")
            << full
            << QByteArray(":FF340E151C232A31383F464D545B626970777E858C939AA1A8AFB6BDC4C"
                          "BD2D9E0E7EEF5FC030A11181F262D343B424950575E656C737A81888F969"
                          "DA4ABB2B9C0C7CED5DCE3EAF1F8FF060D141BB7\r\n");
    }
    void relayFrameGoesToEveryClient()
    {
        QFETCH(QByteArray, record);
        QFETCH(QByteArray, frame);
        LiveRig rig;
        QVERIFY(rig.server.listen(0));
        auto first = connectClient(rig.server);
        auto second = connectClient(rig.server);
        QVERIFY(first && second);
        QTRY_COMPARE(rig.server.clientCount(), 2);

        AnswerRecord answer = recordOf(record);
        rig.server.RelayRecord(answer, int(record.size()));
        QCOMPARE(frame.size(), 2 * record.size() + 5);
        QCOMPARE(int(answer[int(record.size())]),
                 0); // the LRC is the frame's: the record stays as it was
        for (QTcpSocket* client : {first.get(), second.get()}) {
            QTRY_COMPARE(client->bytesAvailable(), frame.size());
            QCOMPARE(client->readAll(), frame);
        }
    }

    void relayWithoutClientsSendsNothing()
    {
        LiveRig rig;
        QVERIFY(rig.server.listen(0));
        AnswerRecord answer;
        rig.server.RelayRecord(answer, AnswerRecord::kShortLength);
        QCOMPARE(rig.state.currentConnections.rows(), 2);
        for (int c = 0; c < 5; ++c)
            QVERIFY(rig.state.currentConnections.text(1, c).isEmpty());
    }

    void gridFollowsTheConnectionList()
    {
        LiveRig rig;
        QVERIFY(rig.server.listen(0));
        const CellGrid& grid = rig.state.currentConnections;
        std::vector<std::unique_ptr<QTcpSocket>> clients;
        for (int i = 0; i < 3; ++i) {
            clients.push_back(connectClient(rig.server));
            QVERIFY(clients.back());
            QTRY_COMPARE(rig.server.clientCount(), i + 1);
        }
        QCOMPARE(grid.rows(), 4);
        for (int row = 1; row <= 3; ++row) {
            QCOMPARE(grid.text(row, 0), QString::number(row));
            QCOMPARE(grid.text(row, 1), QStringLiteral("127.0.0.1"));
            QCOMPARE(grid.text(row, 2), QString::number(rig.server.port()));
            QCOMPARE(grid.text(row, 3), QStringLiteral("127.0.0.1"));
            QCOMPARE(grid.text(row, 4), QString::number(clients[size_t(row - 1)]->localPort()));
        }
        const QString thirdPort = QString::number(clients[2]->localPort());
        clients[1]->disconnectFromHost();
        QTRY_COMPARE(rig.server.clientCount(), 2);
        QCOMPARE(grid.rows(), 3);
        QCOMPARE(grid.text(2, 0), QStringLiteral("2"));
        QCOMPARE(grid.text(2, 4), thirdPort);

        clients[0]->disconnectFromHost();
        clients[2]->disconnectFromHost();
        QTRY_COMPARE(rig.server.clientCount(), 0);
        QCOMPARE(grid.rows(), 2);
        for (int c = 0; c < 5; ++c)
            QVERIFY(grid.text(1, c).isEmpty());
    }

    void stopClosesClientsAndEmptiesTheGrid()
    {
        LiveRig rig;
        QVERIFY(rig.server.listen(0));
        auto client = connectClient(rig.server);
        QVERIFY(client);
        QTRY_COMPARE(rig.server.clientCount(), 1);
        rig.server.stop();
        QVERIFY(!rig.server.isListening());
        QCOMPARE(rig.state.currentConnections.rows(), 2);
        QVERIFY(rig.state.currentConnections.text(1, 0).isEmpty());
        QTRY_COMPARE(client->state(), QAbstractSocket::UnconnectedState);
    }

    void listenOnAPortInUseSaysWhy()
    {
        LiveRig rig;
        QVERIFY(rig.server.listen(0));
        LiveRig other;
        const Outcome failed = other.server.listen(rig.server.port());
        QVERIFY(!failed);
        QVERIFY2(failed.error().startsWith(QStringLiteral("Windows socket error: ")),
                 qPrintable(failed.error()));
        QVERIFY2(failed.error().endsWith(QStringLiteral(", on API 'bind'")),
                 qPrintable(failed.error()));
    }

    void clientRequest_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<int>("row");
        const QByteArray pending = HexFrame::forwardedFrame(9, 9, 9);
        QTest::newRow("0105: row 1, argument 5")
            << QByteArray("0105") << QByteArray(":0163000597\r\n") << 1;
        QTest::newRow("three characters: the third is the argument")
            << QByteArray("015") << QByteArray(":0163000597\r\n") << 1;
        QTest::newRow("extra characters ignored")
            << QByteArray("0105 and more") << QByteArray(":0163000597\r\n") << 1;
        QTest::newRow("cut at the zero byte") << QByteArray("01\0"
                                                            "05",
                                                            5)
                                              << pending << 30;
        QTest::newRow("argument kept to its low 8 bits: 0299")
            << QByteArray("0299") << HexFrame::forwardedFrame(2, 3, 99) << 2;
        QTest::newRow("row not a number") << QByteArray("ab05") << pending << 30;
        QTest::newRow("argument not a number") << QByteArray("01x5") << pending << 30;
        QTest::newRow("row 0") << QByteArray("0005") << pending << 30;
        QTest::newRow("row 31") << QByteArray("3105") << pending << 30;
        QTest::newRow("row -1") << QByteArray("-105") << pending << 30;
        QTest::newRow("row of a channel not connected") << QByteArray("0305") << pending << 30;
        QTest::newRow("two characters") << QByteArray("01") << pending << 30;
    }
    void clientRequest()
    {
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, frame);
        QFETCH(int, row);
        LiveRig rig;
        rig.setChannel(0, terminalText(0), Texts::modeOnRequest, 1, 0, 2);
        rig.setChannel(1, terminalText(0), Texts::modeOnRequest, 2, 3, 2);
        rig.setChannel(2, Texts::notConnected, Texts::modeOnRequest, 4, 4, 2);
        rig.setChannel(29, terminalText(1), Texts::modeOnRequest, 9, 9, 2);
        rig.scheduler.setForwardedRequest(HexFrame::forwardedFrame(9, 9, 9), 30);
        QVERIFY(rig.server.listen(0));
        auto client = connectClient(rig.server);
        QVERIFY(client);
        QTRY_COMPARE(rig.server.clientCount(), 1);
        client->write(text);
        QVERIFY(client->waitForBytesWritten(1000));
        if (row != 30) {
            QTRY_COMPARE(rig.state.forwardRow, row);
        } else {
            // Let the request arrive and be handled, then check nothing moved.
            QTest::qWait(100);
        }
        QCOMPARE(rig.state.forwardRow, row);
        QCOMPARE(rig.state.forwardFrame, frame);
        QCOMPARE(client->bytesAvailable(), 0); // no reply, ever
        // Each refused request counts as a bad one.
        QCOMPARE(rig.state.counters.live.badRequests, quint64(row == 30 ? 1 : 0));
    }

    // Row and argument are decimal digits and nothing else: what parseInteger
    // took (a sign, spaces around a digit) changes nothing either.
    void requestFieldsAreDigitsOnly_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("argument");
        QTest::newRow("0105") << QByteArray("0105") << 1 << 5;
        QTest::newRow("three characters 029") << QByteArray("029") << 2 << 9;
        QTest::newRow("zero byte after three characters") << QByteArray("029\0"
                                                                        "9",
                                                                        5)
                                                          << 2 << 9;
        QTest::newRow("argument 99 of row 30") << QByteArray("3099") << 30 << 99;
        QTest::newRow("plus sign in the row") << QByteArray("+105") << 0 << 0;
        QTest::newRow("minus sign in the argument") << QByteArray("01-5") << 0 << 0;
        QTest::newRow("plus sign in the argument") << QByteArray("01+5") << 0 << 0;
        QTest::newRow("space before the row digit") << QByteArray(" 105") << 0 << 0;
        QTest::newRow("space after the row digit") << QByteArray("1 05") << 0 << 0;
        QTest::newRow("space in the argument") << QByteArray("01 5") << 0 << 0;
        QTest::newRow("three characters, space last") << QByteArray("01 ") << 0 << 0;
        QTest::newRow("tab in the argument") << QByteArray("01\t5") << 0 << 0;
        QTest::newRow("letter in the row") << QByteArray("0a05") << 0 << 0;
        QTest::newRow("zero byte in the row") << QByteArray("0\0"
                                                            "105",
                                                            5)
                                              << 0 << 0;
        QTest::newRow("zero byte first") << QByteArray("\0"
                                                       "0105",
                                                       5)
                                         << 0 << 0;
        QTest::newRow("empty") << QByteArray() << 0 << 0;
        QTest::newRow("Cyrillic letter in the argument") << QByteArray("01\xc0"
                                                                       "5")
                                                         << 0 << 0;
    }
    void requestFieldsAreDigitsOnly()
    {
        QFETCH(QByteArray, text);
        QFETCH(int, row);
        QFETCH(int, argument);
        LiveRig rig;
        rig.setChannel(0, terminalText(0), Texts::modeOnRequest, 1, 0, 2);
        rig.setChannel(1, terminalText(0), Texts::modeOnRequest, 2, 3, 2);
        rig.setChannel(29, terminalText(1), Texts::modeOnRequest, 9, 7, 2);
        BadInputLog log(lcAnswers, QStringLiteral("live client test"));
        if (row == 0)
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^live client")));
        rig.server.takeRequest(text, log);
        QCOMPARE(rig.state.forwardRow, row);
        if (row == 0) {
            QVERIFY(rig.state.forwardFrame.isEmpty());
            return;
        }
        const ChannelEntry& channel = rig.state.channels[size_t(row - 1)];
        QCOMPARE(rig.state.forwardFrame,
                 HexFrame::forwardedFrame(channel.blockAddress, channel.channelNumber,
                                          quint8(argument)));
    }

    // A client that sends nothing but garbage gets a few log lines a minute,
    // each quoting only the start of what it sent.
    void badRequestsAreLoggedSparingly()
    {
        LiveRig rig;
        QVERIFY(rig.server.listen(0));
        auto client = connectClient(rig.server);
        QVERIFY(client);
        QTRY_COMPARE(rig.server.clientCount(), 1);

        QStringList lines;
        static QStringList* sink = nullptr;
        sink = &lines;
        const QtMessageHandler previous =
            qInstallMessageHandler([](QtMsgType, const QMessageLogContext&,
                                      const QString& message) { sink->append(message); });
        const QByteArray garbage = QByteArray(3000, 'z') + QByteArray(1000, '\n');
        for (int i = 0; i < 200; ++i) {
            client->write(garbage);
            QVERIFY(client->waitForBytesWritten(1000));
        }
        const bool arrived = QTest::qWaitFor([&] { return client->bytesToWrite() == 0; });
        QTest::qWait(200);
        client->disconnectFromHost();
        const bool left = QTest::qWaitFor([&] { return rig.server.clientCount() == 0; }, 3000);
        qInstallMessageHandler(previous);
        QVERIFY(arrived && left);

        const QStringList bad = lines.filter(QStringLiteral("not two numbers"));
        QCOMPARE(bad.size(), BadInputLog::kLinesPerWindow);
        qsizetype logged = 0;
        for (const QString& line : lines)
            logged += line.size();
        QVERIFY2(logged < 2000, qPrintable(lines.join(u'\n')));
        QVERIFY(bad[0].contains(QStringLiteral("\"zzzzzzzzzzzzzzzz\" and ")));
        QCOMPARE(lines.filter(QStringLiteral("more bad requests, not logged")).size(), 1);
    }

    void clientsBeyondTheLimitAreClosedAtOnce()
    {
        LiveRig rig;
        QCOMPARE(rig.server.clientLimit(), 64);
        rig.server.setClientLimit(3);
        QVERIFY(rig.server.listen(0));
        const QRegularExpression full(QStringLiteral("further connections are closed"));
        QTest::ignoreMessage(QtWarningMsg, full);
        QTest::failOnWarning(full);
        std::vector<std::unique_ptr<QTcpSocket>> clients;
        for (int i = 0; i < 6; ++i) {
            clients.push_back(connectClient(rig.server));
            QVERIFY(clients.back());
        }
        for (int i = 3; i < 6; ++i)
            QTRY_COMPARE(clients[size_t(i)]->state(), QAbstractSocket::UnconnectedState);
        QCOMPARE(rig.server.clientCount(), 3);
        QCOMPARE(rig.state.currentConnections.rows(), 4);
        for (int i = 0; i < 3; ++i)
            QCOMPARE(clients[size_t(i)]->state(), QAbstractSocket::ConnectedState);

        // A place comes free: the next connection is served.
        clients[0]->disconnectFromHost();
        QTRY_COMPARE(rig.server.clientCount(), 2);
        auto next = connectClient(rig.server);
        QVERIFY(next);
        QTRY_COMPARE(rig.server.clientCount(), 3);
        QCOMPARE(rig.state.currentConnections.text(3, 4), QString::number(next->localPort()));
        const LiveCounters& counted = rig.state.counters.live;
        QCOMPARE(counted.clientsNow, quint64(3));
        QCOMPARE(counted.connectionsAccepted, quint64(4));
        QCOMPARE(counted.connectionsRefused, quint64(3));
    }

    // Each leaving client takes its own row out: the grid's work per leave does
    // not grow with the number of clients still connected.
    void leavingClientsRemoveTheirOwnRows()
    {
        LiveRig rig;
        const int count = 300;
        rig.server.setClientLimit(count);
        QVERIFY(rig.server.listen(0));
        std::vector<std::unique_ptr<QTcpSocket>> clients;
        for (int i = 0; i < count; ++i) {
            clients.push_back(connectClient(rig.server));
            QVERIFY(clients.back());
            QTRY_COMPARE(rig.server.clientCount(), i + 1);
        }
        const CellGrid& grid = rig.state.currentConnections;
        QCOMPARE(grid.text(count, 0), QString::number(count));

        QSignalSpy changed(&grid, &CellGrid::dataChanged);
        QSignalSpy removed(&grid, &CellGrid::rowsRemoved);
        const QString lastPort = QString::number(clients.back()->localPort());
        for (int i = 0; i < count - 1; ++i) // in the order they came: always the first row
            clients[size_t(i)]->disconnectFromHost();
        QTRY_COMPARE(rig.server.clientCount(), 1);
        QCOMPARE(removed.size(), count - 1);
        QVERIFY2(changed.size() <= 2 * count, qPrintable(QString::number(changed.size())));
        QCOMPARE(grid.rows(), 2);
        QCOMPARE(grid.text(1, 0), QStringLiteral("1"));
        QCOMPARE(grid.text(1, 4), lastPort);
    }

    void onlyTheLaterOfTwoRequestsIsSent()
    {
        LiveRig rig;
        PseudoTerminal& line = rig.attach(0);
        rig.setChannel(0, terminalText(0), Texts::modeOnRequest, 1, 0, 2);
        rig.setChannel(1, terminalText(0), Texts::modeOnRequest, 2, 3, 2);
        QVERIFY(rig.server.listen(0));
        auto client = connectClient(rig.server);
        QVERIFY(client);
        QTRY_COMPARE(rig.server.clientCount(), 1);
        client->write("0105");
        QTRY_COMPARE(rig.state.forwardRow, 1);
        client->write("0207");
        QTRY_COMPARE(rig.state.forwardRow, 2);

        rig.scheduler.TimerSendQuerryTimer();
        const QByteArray sent = line.readAtLeast(HexFrame::kForwardedLength, 2000);
        QCOMPARE(sent, HexFrame::forwardedFrame(2, 3, 7));
        QCOMPARE(rig.state.forwardRow, 0);
    }

    void aClientThatNeverReadsIsCapped()
    {
        LiveRig rig;
        QVERIFY(rig.server.listen(0));
        auto reader = connectClient(rig.server);
        QVERIFY(reader);
        // A peer that never reads: a plain socket nobody services.
        const int stalled = connectLoopbackClient(rig.server.port(), 4096);
        QVERIFY(stalled >= 0);
        QTRY_COMPARE(rig.server.clientCount(), 2);

        QByteArray full(AnswerRecord::kFullLength, '\0');
        full[0] = char(0xFF);
        full[1] = 0x34;
        const int frameSize = 2 * AnswerRecord::kFullLength + 5;
        qint64 relayed = 0;
        QByteArray received;
        for (int batch = 0; batch < 200 && rig.server.droppedFrames() < 50; ++batch) {
            for (int i = 0; i < 200; ++i) {
                full[5] = char(relayed & 0xFF);
                AnswerRecord answer = recordOf(full);
                rig.server.RelayRecord(answer, AnswerRecord::kFullLength);
                ++relayed;
            }
            QTRY_VERIFY((received += reader->readAll()).size() == relayed * frameSize);
        }
        QVERIFY(rig.server.droppedFrames() >= 50);
        // The reading client got every frame, whole and in order.
        for (qint64 i = 0; i < relayed; ++i) {
            const QByteArray frame = received.mid(i * frameSize, frameSize);
            QVERIFY(frame.startsWith(":FF34") && frame.endsWith("\r\n"));
            QCOMPARE(QByteArray::fromHex(frame.mid(11, 2)), QByteArray(1, char(i & 0xFF)));
        }
        ::close(stalled);
        QTRY_COMPARE(rig.server.clientCount(), 1);
    }

    // One receive tick's frames reach each client in one write, in order.
    void aTicksFramesGoInOneWritePerClient()
    {
        LiveRig rig;
        QVERIFY(rig.server.listen(0));
        auto first = connectClient(rig.server);
        auto second = connectClient(rig.server);
        QVERIFY(first && second);
        QTRY_COMPARE(rig.server.clientCount(), 2);
        const QList<QTcpSocket*> served = rig.server.findChildren<QTcpSocket*>();
        QCOMPARE(served.size(), 2);
        std::vector<std::unique_ptr<QSignalSpy>> writes;
        for (QTcpSocket* socket : served)
            writes.push_back(std::make_unique<QSignalSpy>(socket, &QTcpSocket::bytesWritten));

        QByteArray expected;
        rig.server.beginTick();
        for (int i = 0; i < 3; ++i) {
            QByteArray full(AnswerRecord::kFullLength, char(i));
            full[0] = char(0xFF);
            full[1] = 0x34;
            AnswerRecord answer = recordOf(full);
            rig.server.RelayRecord(answer, AnswerRecord::kFullLength);
            expected += HexFrame::encodeWithLrc(full);
        }
        const QByteArray shortRecord =
            QByteArray::fromHex("FF340502001E2D0E0F0618") + QByteArray(10, ' ');
        AnswerRecord answer = recordOf(shortRecord);
        rig.server.RelayRecord(answer, AnswerRecord::kShortLength);
        expected += HexFrame::encodeWithLrc(shortRecord);
        for (const auto& spy : writes)
            QCOMPARE(spy->size(), 0);
        rig.server.endTick();

        QCOMPARE(expected.size(), 3 * 161 + 47);
        for (const auto& spy : writes) {
            QCOMPARE(spy->size(), 1);
            QCOMPARE(spy->at(0).at(0).toLongLong(), qint64(expected.size()));
        }
        for (QTcpSocket* client : {first.get(), second.get()}) {
            QTRY_COMPARE(client->bytesAvailable(), expected.size());
            QCOMPARE(client->readAll(), expected);
        }
    }

    // Ticks that do not fit under a stalled client's cap lose whole frames, and
    // the episode is logged once however many ticks it lasts; the reading
    // client misses nothing.
    void aStalledClientLosesWholeFramesLoggedOnce()
    {
        LiveRig rig;
        QVERIFY(rig.server.listen(0));
        auto reader = connectClient(rig.server);
        QVERIFY(reader);
        const int stalled = connectLoopbackClient(rig.server.port(), 4096);
        QVERIFY(stalled >= 0);
        QTRY_COMPARE(rig.server.clientCount(), 2);
        g_dropWarnings = 0;
        g_resumeLines = 0;
        g_previousHandler = qInstallMessageHandler(countDropWarnings);

        constexpr int kFramesPerTick = 1000;
        const int frameSize = 2 * AnswerRecord::kFullLength + 5;
        QByteArray full(AnswerRecord::kFullLength, '\0');
        full[0] = char(0xFF);
        full[1] = 0x34;
        int sequence = 0;
        // Ticks with drops in a row: one episode. Under load the kernel may take
        // a burst from the stalled socket between two ticks (its buffers grow),
        // which ends an episode with its own line; the count starts again then.
        int ticksWithDrops = 0;
        QByteArray received;
        for (int tick = 0; tick < 200 && ticksWithDrops < 3; ++tick) {
            const qint64 droppedBefore = rig.server.droppedFrames();
            rig.server.beginTick();
            for (int i = 0; i < kFramesPerTick; ++i, ++sequence) {
                full[5] = char(sequence >> 8);
                full[6] = char(sequence);
                AnswerRecord answer = recordOf(full);
                rig.server.RelayRecord(answer, AnswerRecord::kFullLength);
            }
            rig.server.endTick();
            ticksWithDrops = rig.server.droppedFrames() > droppedBefore ? ticksWithDrops + 1 : 0;
            QTRY_VERIFY((received += reader->readAll()).size() == qint64(sequence) * frameSize);
        }
        qInstallMessageHandler(g_previousHandler);
        QCOMPARE(ticksWithDrops, 3);
        // One line for each episode, none for the further ticks of one.
        QCOMPARE(g_dropWarnings, g_resumeLines + 1);
        QVERIFY(rig.server.droppedFrames() < qint64(sequence));
        for (int i = 0; i < sequence; ++i) {
            const QByteArray frame = received.mid(qsizetype(i) * frameSize, frameSize);
            QCOMPARE(frame.mid(11, 4).toInt(nullptr, 16), i);
        }

        // What the stalled client gets when it finally reads: whole frames, in order.
        QByteArray late;
        QTcpSocket* served = nullptr;
        for (QTcpSocket* socket : rig.server.findChildren<QTcpSocket*>())
            if (socket->peerPort() != reader->localPort())
                served = socket;
        QVERIFY(served);
        const QDeadlineTimer limit(20000);
        while (!limit.hasExpired()) {
            QCoreApplication::processEvents();
            pollfd p{stalled, POLLIN, 0};
            if (::poll(&p, 1, 200) <= 0 && served->bytesToWrite() == 0)
                break;
            char buffer[65536];
            const ssize_t n = ::recv(stalled, buffer, sizeof buffer, MSG_DONTWAIT);
            if (n > 0)
                late.append(buffer, n);
        }
        ::close(stalled);
        QCOMPARE(late.size() % frameSize, 0);
        QCOMPARE(late.size() / frameSize, sequence - rig.server.droppedFrames());
        // Sent: all of them to the reader, what came late to the stalled one.
        const auto lateFrames = quint64(late.size() / frameSize);
        QCOMPARE(rig.state.counters.live.framesSent, quint64(sequence) + lateFrames);
        QCOMPARE(rig.state.counters.live.framesDropped, quint64(sequence) - lateFrames);
        int previous = -1;
        for (qsizetype at = 0; at < late.size(); at += frameSize) {
            const QByteArray frame = late.mid(at, frameSize);
            QVERIFY(frame.startsWith(":FF34") && frame.endsWith("\r\n"));
            const int number = frame.mid(11, 4).toInt(nullptr, 16);
            QVERIFY(number > previous);
            previous = number;
        }
    }
};

QTEST_GUILESS_MAIN(TestLiveServer)
#include "tst_liveserver.moc"
