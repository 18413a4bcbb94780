// The history service over loopback: admission, identify, select, describe,
// fetch and acknowledge against a temporary archive of three files.
#include "archive/archivereader.h"
#include "archive/historyservice.h"
#include "archivefile.h"
#include "fixedclock.h"
#include "model/codepage1251.h"
#include "model/stationstate.h"
#include "settingsfixture.h"

#include <QAbstractSocket>
#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

namespace {

struct HistoryRig {
    SettingsFixture settings;
    QTemporaryDir archive;
    StationState state;
    ArchiveReader reader{settings.store()};
    FixedClock clock;
    HistoryService service{state, settings.store(), reader, clock};

    HistoryRig()
    {
        settings.setRoot(QStringLiteral("HistoryFolder"), archive.path());
        settings.setRoot(QStringLiteral("LastMeasure"), QStringLiteral("23092015101010"));
    }

    QString addFile(int day, int month, int year, int channel, const QByteArray& bytes)
    {
        return writeArchiveFile(archive.path(), day, month, year, channel, bytes);
    }

    std::unique_ptr<QTcpSocket> connectClient()
    {
        auto socket = std::make_unique<QTcpSocket>();
        socket->connectToHost(QHostAddress::LocalHost, service.port());
        if (!socket->waitForConnected(3000))
            return nullptr;
        return socket;
    }

    // Listens, connects one client and waits until the service lists it.
    std::unique_ptr<QTcpSocket> admitClient()
    {
        if (!service.listen(0))
            return nullptr;
        auto socket = connectClient();
        if (!socket ||
            !QTest::qWaitFor([&] { return state.currentConnectionsForUpdate.rows() == 2; }))
            return nullptr;
        return socket;
    }
};

// Sends a request and collects the reply until it has count bytes.
QByteArray ask(QTcpSocket& client, const QByteArray& request, qsizetype count)
{
    client.write(request);
    QByteArray reply;
    (void)QTest::qWaitFor(
        [&] {
            reply += client.readAll();
            return reply.size() >= count;
        },
        5000);
    return reply;
}

// A request that must get no reply.
QByteArray silence(QTcpSocket& client, const QByteArray& request)
{
    client.write(request);
    QTest::qWait(150);
    return client.readAll();
}

QByteArray lines(int n, char tag)
{
    QByteArray bytes = toCp1251(QStringLiteral("Имя\tВремя\t\r\n"));
    for (int i = 0; i < n; ++i)
        bytes += QByteArray(40, tag) + "\t\r\n";
    return bytes;
}

QByteArray description(const char* channel, const char* date, qint64 size)
{
    return ":02" + QByteArray(channel) + date + QByteArray::number(size).rightJustified(9, '0');
}

} // namespace

class TestHistoryService : public QObject {
    Q_OBJECT

private slots:
    void aWholeSessionFetchesNewestFirst()
    {
        HistoryRig rig;
        const QByteArray a = lines(3, 'a');
        const QByteArray b = lines(2000, 'b'); // larger than one chunk
        const QByteArray c = lines(1, 'c');
        rig.addFile(22, 9, 2015, 7, a);
        rig.addFile(22, 9, 2015, 12, b);
        rig.addFile(23, 9, 2015, 1, c);
        auto client = rig.admitClient();
        QVERIFY(client);
        const CellGrid& grid = rig.state.currentConnectionsForUpdate;
        QCOMPARE(grid.text(1, 0), QStringLiteral("???"));
        QCOMPARE(grid.text(1, 3), QStringLiteral("127.0.0.1"));
        QCOMPARE(grid.text(1, 4), QString::number(client->localPort()));
        QCOMPARE(grid.text(1, 2), QString::number(rig.service.port()));

        QCOMPARE(ask(*client, ":04000", 6), QByteArray(":04001"));
        QCOMPARE(grid.text(1, 0), QStringLiteral("001"));
        QCOMPARE(ask(*client, ":05", 19), QByteArray(":0523092015101010\n\r"));
        QCOMPARE(ask(*client,
                     ":0100122092015000000"
                     "00000000000000",
                     10),
                 QByteArray(":0100003\n\r"));
        QCOMPARE(ask(*client, ":0200100003", 22), description(" 1", "23092015", c.size()));
        QCOMPARE(ask(*client, ":03001", c.size()), c);
        QCOMPARE(ask(*client, ":0200100002", 22), description("12", "22092015", b.size()));
        QCOMPARE(ask(*client, ":03001", b.size()), b);
        // A repeated acknowledgement removes nothing more.
        QCOMPARE(ask(*client, ":0200100002", 22), description("12", "22092015", b.size()));
        QCOMPARE(ask(*client, ":0200100001", 22), description(" 7", "22092015", a.size()));
        QCOMPARE(ask(*client, ":03001", a.size()), a);
        QCOMPARE(ask(*client, ":0200100000", 7), QByteArray(":0200\n\r"));
        QCOMPARE(silence(*client, ":03001"), QByteArray());

        client->disconnectFromHost();
        QTRY_COMPARE(rig.state.currentConnectionsForUpdate.rows(), 1);
        const HistoryCounters& counted = rig.state.counters.history;
        QCOMPARE(counted.sessions, quint64(1));
        QCOMPARE(counted.filesSent, quint64(3));
        QCOMPARE(counted.bytesSent, quint64(a.size() + b.size() + c.size()));
        QCOMPARE(counted.idleCloses, quint64(0));
    }

    void aSecondClientIsRefused()
    {
        HistoryRig rig;
        auto first = rig.admitClient();
        QVERIFY(first);
        auto second = rig.connectClient();
        QVERIFY(second);
        QTRY_COMPARE(second->state(), QAbstractSocket::UnconnectedState);
        QCOMPARE(rig.state.currentConnectionsForUpdate.rows(), 2);
        QCOMPARE(ask(*first, ":04000", 6), QByteArray(":04001"));
    }

    void identities()
    {
        HistoryRig rig;
        QVERIFY(rig.service.listen(0));
        auto client = rig.connectClient();
        QVERIFY(client);
        QCOMPARE(ask(*client, ":04000", 6), QByteArray(":04001"));
        QCOMPARE(ask(*client, ":04000", 6), QByteArray(":04002"));
        QCOMPARE(ask(*client, ":04057", 6), QByteArray(":04057"));
        QCOMPARE(rig.state.historyClientSeq, 3);
        QCOMPARE(rig.state.currentConnectionsForUpdate.text(1, 0), QStringLiteral("057"));
        // After 999 the numbering starts again at 001; 000 is never handed out.
        rig.state.historyClientSeq = 999;
        QCOMPARE(ask(*client, ":04000", 6), QByteArray(":04999"));
        QCOMPARE(ask(*client, ":04000", 6), QByteArray(":04001"));
    }

    void refusalsAndSilences()
    {
        HistoryRig rig;
        rig.addFile(22, 9, 2015, 7, lines(1, 'a'));
        auto client = rig.admitClient();
        QVERIFY(client);
        // Describe and fetch for an ID that never selected.
        QCOMPARE(ask(*client, ":0200500000", 7), QByteArray(":0299\n\r"));
        QCOMPARE(silence(*client, ":03005"), QByteArray());
        // IDs that are no number, unknown codes, a zero byte inside.
        QCOMPARE(silence(*client, ":02x0100000"), QByteArray());
        QCOMPARE(silence(*client, ":09001"), QByteArray());
        QCOMPARE(silence(*client, QByteArray(":0\0"
                                             "5",
                                             4)),
                 QByteArray());
        QCOMPARE(ask(*client, QByteArray(":05\0garbage", 11), 19),
                 QByteArray(":0523092015101010\n\r"));

        // Equal stamps keep the earlier selection.
        QCOMPARE(ask(*client,
                     ":0100522092015000000"
                     "22092015235959",
                     10),
                 QByteArray(":0100001\n\r"));
        rig.settings.setRoot(QStringLiteral("LastMeasure"), QStringLiteral("01012015000000"));
        QCOMPARE(ask(*client,
                     ":0100501012015000000"
                     "00000000000000",
                     10),
                 QByteArray(":0100000\n\r"));
        // Acknowledgement digits that are no number: refused, then described.
        const QByteArray expected =
            ":0299\n\r" + description(" 7", "22092015", lines(1, 'a').size());
        QCOMPARE(ask(*client, ":02005abcde", expected.size()), expected);
    }

    // A client that sends nothing but garbage gets a few log lines a minute,
    // each quoting only the start of its request, control bytes escaped.
    void badRequestsAreLoggedSparingly()
    {
        HistoryRig rig;
        auto client = rig.admitClient();
        QVERIFY(client);

        static QStringList lines;
        lines.clear();
        const QtMessageHandler previous =
            qInstallMessageHandler([](QtMsgType, const QMessageLogContext&,
                                      const QString& message) { lines.append(message); });
        for (int i = 0; i < 40; ++i) {
            client->write(QByteArray(":09\x1b[2J") + QByteArray(100, 'z'));
            QVERIFY(client->waitForBytesWritten(1000));
            QTest::qWait(20); // one read event each
        }
        client->disconnectFromHost();
        const bool gone =
            QTest::qWaitFor([&] { return rig.state.currentConnectionsForUpdate.rows() == 1; });
        qInstallMessageHandler(previous);
        QVERIFY(gone);

        const QStringList bad = lines.filter(QStringLiteral("unknown code"));
        QCOMPARE(bad.size(), 5);
        QVERIFY2(bad[0].startsWith(QStringLiteral("history client 127.0.0.1 ")),
                 qPrintable(bad[0]));
        QVERIFY2(bad[0].endsWith(QStringLiteral("\":09\\x1b[2Jzzzzzzzzz\" and 91 more bytes")),
                 qPrintable(bad[0]));
        QCOMPARE(lines.filter(QStringLiteral("more bad requests, not logged")).size(), 1);
        // Counted, though not logged, each of them.
        QCOMPARE(rig.state.counters.history.badRequests, quint64(40));
    }

    void aBrokenFetchResumesAfterReconnection()
    {
        HistoryRig rig;
        const QByteArray big = lines(200000, 'z'); // about 8.8 MB, more than the kernel buffers
        rig.addFile(22, 9, 2015, 3, big);
        QVERIFY(rig.service.listen(0));
        auto client = rig.connectClient();
        QVERIFY(client);
        QCOMPARE(ask(*client, ":04000", 6), QByteArray(":04001"));
        QCOMPARE(ask(*client,
                     ":0100122092015000000"
                     "22092015235959",
                     10),
                 QByteArray(":0100001\n\r"));
        QCOMPARE(ask(*client, ":0200100001", 22), description(" 3", "22092015", big.size()));
        client->setReadBufferSize(1024); // a peer that stops taking the file
        client->write(":03001");
        QTRY_VERIFY(rig.service.isSending());
        QTest::qWait(100);
        QVERIFY(rig.service.isSending());
        client->abort();
        QTRY_COMPARE(rig.state.currentConnectionsForUpdate.rows(), 1);
        QVERIFY(!rig.service.isSending());

        client = rig.connectClient();
        QVERIFY(client);
        QCOMPARE(ask(*client, ":04001", 6), QByteArray(":04001"));
        QCOMPARE(ask(*client, ":0200199999", 22), description(" 3", "22092015", big.size()));
        QCOMPARE(ask(*client, ":03001", big.size()), big);
    }

    void aFetchSendsExactlyTheAnnouncedSize()
    {
        HistoryRig rig;
        const QByteArray before = lines(2, 'a');
        const QString path = rig.addFile(22, 9, 2015, 3, before);
        QVERIFY(rig.service.listen(0));
        auto client = rig.connectClient();
        QVERIFY(client);
        QCOMPARE(ask(*client,
                     ":0100122092015000000"
                     "22092015235959",
                     10),
                 QByteArray(":0100001\n\r"));
        QCOMPARE(ask(*client, ":0200100001", 22), description(" 3", "22092015", before.size()));
        QFile file(path);
        QVERIFY(file.open(QIODevice::Append));
        file.write("appended line\t\r\n");
        file.close();
        QCOMPARE(ask(*client, ":03001", before.size()), before);
        QCOMPARE(silence(*client, QByteArray()), QByteArray()); // nothing more came
        // The next selection of that day brings the longer file.
        QCOMPARE(ask(*client,
                     ":0100122092015000000"
                     "22092015235959",
                     10),
                 QByteArray(":0100001\n\r"));
        QCOMPARE(ask(*client, ":0200100001", 22),
                 description(" 3", "22092015", before.size() + 16));
    }

    // A client that keeps asking while it takes nothing is closed once its
    // unread replies pass the cap, instead of queueing them without end.
    void aClientThatNeverReadsIsClosedAtTheCap()
    {
        HistoryRig rig;
        rig.settings.setRoot(QStringLiteral("LastMeasure"), QString(40000, u'9'));
        const QByteArray big = lines(400000, 'z');
        rig.addFile(22, 9, 2015, 3, big);
        QVERIFY(rig.service.listen(0));
        auto client = rig.connectClient();
        QVERIFY(client);
        QCOMPARE(ask(*client,
                     ":0100122092015000000"
                     "22092015235959",
                     10),
                 QByteArray(":0100001\n\r"));
        QCOMPARE(ask(*client, ":0200100001", 22), description(" 3", "22092015", big.size()));
        client->setReadBufferSize(1024);
        client->write(":03001");
        QTRY_VERIFY(rig.service.isSending());
        client->write(":05");
        QTest::qWait(100);
        QCOMPARE(rig.state.currentConnectionsForUpdate.rows(), 2); // one reply fits
        client->write(":05");
        QTRY_COMPARE(rig.state.currentConnectionsForUpdate.rows(), 1);
        QVERIFY(!rig.service.isSending());
    }

    // A connection with no request for ten minutes is closed; one that is
    // taking a file is not; the ID's selection stays for the next connection.
    void anIdleClientIsClosed()
    {
        HistoryRig rig;
        const QByteArray big = lines(400000, 'z');
        rig.addFile(22, 9, 2015, 3, big);
        QVERIFY(rig.service.listen(0));
        auto client = rig.connectClient();
        QVERIFY(client);
        QCOMPARE(ask(*client,
                     ":0100122092015000000"
                     "22092015235959",
                     10),
                 QByteArray(":0100001\n\r"));
        const QDateTime start = rig.clock.now();
        rig.clock.set(start.addSecs(9 * 60 + 59));
        rig.service.ServerSocketRefreshHistoryIdleCheck();
        QCOMPARE(rig.state.currentConnectionsForUpdate.rows(), 2);

        // Taking a file counts as activity, however slow.
        QCOMPARE(ask(*client, ":0200100001", 22), description(" 3", "22092015", big.size()));
        client->setReadBufferSize(1024);
        client->write(":03001");
        QTRY_VERIFY(rig.service.isSending());
        rig.clock.set(start.addSecs(60 * 60));
        rig.service.ServerSocketRefreshHistoryIdleCheck();
        QVERIFY(rig.service.isSending());
        QCOMPARE(rig.state.currentConnectionsForUpdate.rows(), 2);
        client->abort();
        QTRY_COMPARE(rig.state.currentConnectionsForUpdate.rows(), 1);

        client = rig.connectClient();
        QVERIFY(client);
        QTRY_COMPARE(rig.state.currentConnectionsForUpdate.rows(), 2);
        rig.clock.set(start.addSecs(60 * 60 + 10 * 60));
        rig.service.ServerSocketRefreshHistoryIdleCheck();
        QCOMPARE(rig.state.currentConnectionsForUpdate.rows(), 1);
        QTRY_COMPARE(client->state(), QAbstractSocket::UnconnectedState);
        // The slow fetch was broken off by its client; only the last one idled.
        QCOMPARE(rig.state.counters.history.idleCloses, quint64(1));
        QCOMPARE(rig.state.counters.history.filesSent, quint64(0));
        QCOMPARE(rig.state.counters.history.sessions, quint64(2));

        client = rig.connectClient();
        QVERIFY(client);
        QCOMPARE(ask(*client, ":0200199999", 22), description(" 3", "22092015", big.size()));
    }

    void stopClosesTheClient()
    {
        HistoryRig rig;
        auto client = rig.admitClient();
        QVERIFY(client);
        rig.service.stop();
        QCOMPARE(rig.state.currentConnectionsForUpdate.rows(), 1);
        QTRY_COMPARE(client->state(), QAbstractSocket::UnconnectedState);
    }
};

QTEST_GUILESS_MAIN(TestHistoryService)
#include "tst_historyservice.moc"
