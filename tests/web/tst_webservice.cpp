// The web status service on loopback: the three paths with what the tables
// and the latest answers hold, keep-alive and pipelining, HEAD, the refusals
// and their statuses (another site's name for loopback among them), and the
// bounds: head size, client cap, idle close.
#include "fixedclock.h"
#include "freeport.h"
#include "measurementanswer.h"

#include "answers/acceptedanswer.h"
#include "answers/latestanswers.h"
#include "model/stationstate.h"
#include "model/stationtexts.h"
#include "web/httprequestreader.h"
#include "web/webservice.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTest>
#include <cmath>

namespace {

struct Reply {
    int status = 0;
    QByteArray head; // lower-case header lines
    QByteArray body;
    bool whole = false;
};

// Reads one reply from the client's bytes (and takes it out), waiting up to 5 s.
Reply readReply(QTcpSocket& socket, QByteArray& pending, bool headOnly = false)
{
    Reply reply;
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < 5000) {
        pending += socket.readAll();
        const qsizetype end = pending.indexOf("\r\n\r\n");
        if (end >= 0) {
            reply.head = pending.first(end).toLower();
            reply.status = pending.mid(9, 3).toInt();
            const qsizetype at = reply.head.indexOf("content-length: ");
            const qsizetype length =
                at < 0 ? 0 : reply.head.mid(at + 16).split('\r')[0].toLongLong();
            const qsizetype bodyLength = headOnly ? 0 : length;
            if (pending.size() >= end + 4 + bodyLength) {
                reply.body = pending.mid(end + 4, bodyLength);
                pending.remove(0, end + 4 + bodyLength);
                reply.whole = true;
                return reply;
            }
        }
        if (socket.state() != QAbstractSocket::ConnectedState && socket.bytesAvailable() == 0)
            break;
        QTest::qWait(5);
    }
    return reply;
}

bool waitClosed(QTcpSocket& socket)
{
    return socket.state() == QAbstractSocket::UnconnectedState || socket.waitForDisconnected(0) ||
           QTest::qWaitFor(
               [&socket] { return socket.state() == QAbstractSocket::UnconnectedState; }, 5000);
}

} // namespace

class TestWebService : public QObject {
    Q_OBJECT

    FixedClock m_clock;
    std::unique_ptr<StationState> m_state;
    std::unique_ptr<LatestAnswers> m_latest;
    std::unique_ptr<WebService> m_web;

    void connectClient(QTcpSocket& socket)
    {
        socket.connectToHost(QHostAddress::LocalHost, m_web->port());
        QVERIFY(socket.waitForConnected(5000));
    }

private slots:
    void init()
    {
        m_clock.set(QDateTime(QDate(2026, 12, 10), QTime(9, 30, 7)));
        m_state = std::make_unique<StationState>();
        m_latest = std::make_unique<LatestAnswers>(m_clock);
        m_web = std::make_unique<WebService>(*m_state, *m_latest, m_clock);
        QVERIFY(m_web->listen(QHostAddress::LocalHost, 0));
    }
    void cleanup()
    {
        m_web.reset();
        m_latest.reset();
        m_state.reset();
    }

    // The grid's texts and colours and the latest values by their archive titles.
    void statusCarriesTheGridAndTheLatestValues()
    {
        m_state->queryList.setText(4, QueryColumn::Name, QStringLiteral("Резервуар 4"));
        m_state->queryList.setCell(4, QueryColumn::Status, QStringLiteral("ПДЛ не отвечает"),
                                   CellColour::Red);
        m_state->queryList.setCell(3, QueryColumn::Status, QStringLiteral("Данные получены"),
                                   CellColour::Green);
        m_state->rsSettings.setCell(RsRow::Status, 2, QStringLiteral("Занят"), CellColour::Red);
        m_latest->accept(measurementAnswer(3, 100.0));
        m_web->setServiceSource([] {
            ServiceSnapshot s;
            s.services = {{QStringLiteral("live"), QStringLiteral("*:5000"), true, 3}};
            s.broker = {true, false, 7, QStringLiteral("нет связи")};
            return s;
        });

        QTcpSocket client;
        connectClient(client);
        client.write("GET /api/status HTTP/1.1\r\nHost: 127.0.0.1:5080\r\n\r\n");
        QByteArray pending;
        const Reply reply = readReply(client, pending);
        QVERIFY(reply.whole);
        QCOMPARE(reply.status, 200);
        QVERIFY2(reply.head.contains("content-type: application/json"), reply.head);
        QJsonParseError error;
        const QJsonObject status = QJsonDocument::fromJson(reply.body, &error).object();
        QCOMPARE(error.error, QJsonParseError::NoError);

        const QJsonArray channels = status[u"channels"].toArray();
        QCOMPARE(channels.size(), 30);
        const QJsonObject fourth = channels[3].toObject();
        QCOMPARE(fourth[u"row"].toInt(), 4);
        QCOMPARE(fourth[u"name"].toString(), QStringLiteral("Резервуар 4"));
        QCOMPARE(fourth[u"status"][u"text"].toString(), QStringLiteral("ПДЛ не отвечает"));
        QCOMPARE(fourth[u"status"][u"colour"].toString(), QStringLiteral("#ff0000"));
        QCOMPARE(channels[2][u"status"][u"colour"].toString(), QStringLiteral("#008000"));
        QCOMPARE(channels[0][u"status"][u"colour"].toString(), QStringLiteral("#000000"));
        QCOMPARE(status[u"pollListHeadings"][7].toString(), QStringLiteral("Статус"));

        // Row k = 3 (the fourth) got a measurement: 100 + column index per column.
        const QJsonObject measurement = fourth[u"measurement"].toObject();
        QCOMPARE(measurement[u"time"].toString(), QStringLiteral("2026-12-10T09:30:05"));
        const QJsonObject values = measurement[u"values"].toObject();
        QCOMPARE(values.size(), 29);
        QCOMPARE(values[u"Уровень S1, мм"].toDouble(), 103.0);
        QCOMPARE(values[u"Имя"].toString(), QStringLiteral("Резервуар 4"));
        QCOMPARE(values[u"Время"].toString(), QStringLiteral("09:30:05"));
        QVERIFY(channels[0][u"measurement"].isNull());
        QCOMPARE(fourth[u"lastAnswer"].toString(), QStringLiteral("2026-12-10T09:30:07"));

        const QJsonObject second = status[u"terminals"][1].toObject();
        QCOMPARE(second[u"status"][u"text"].toString(), QStringLiteral("Занят"));
        QCOMPARE(second[u"status"][u"colour"].toString(), QStringLiteral("#ff0000"));
        QCOMPARE(status[u"services"][0][u"clients"].toInt(), 3);
        QCOMPARE(status[u"broker"][u"queued"].toInt(), 7);
        QCOMPARE(status[u"station"][u"time"].toString(), QStringLiteral("2026-12-10T09:30:07"));
    }

    void pageHasNoExternalResource()
    {
        QTcpSocket client;
        connectClient(client);
        client.write("GET / HTTP/1.1\r\n\r\n");
        QByteArray pending;
        const Reply reply = readReply(client, pending);
        QCOMPARE(reply.status, 200);
        QVERIFY(reply.head.contains("content-type: text/html; charset=utf-8"));
        QVERIFY(reply.head.contains("content-security-policy: default-src 'none'"));
        QVERIFY(QString::fromUtf8(reply.body).contains(u"Список опроса"));
        QVERIFY(reply.body.contains("/api/status"));
        for (const char* outside : {"http://", "https://", "src=", "url(", "@import"})
            QVERIFY2(!reply.body.contains(outside), outside);
    }

    void keepAlivePipeliningAndHead()
    {
        QTcpSocket client;
        connectClient(client);
        client.write("GET /api/status HTTP/1.1\r\n\r\nHEAD /api/status HTTP/1.1\r\n\r\n"
                     "GET /nothing-here HTTP/1.1\r\n\r\n");
        QByteArray pending;
        const Reply get = readReply(client, pending);
        const Reply head = readReply(client, pending, true);
        const Reply missing = readReply(client, pending);
        QCOMPARE(get.status, 200);
        QCOMPARE(head.status, 200);
        QCOMPARE(missing.status, 404);
        // HEAD says the length of what GET would send, and sends none of it.
        const auto length = [](const QByteArray& headText) {
            return headText.mid(headText.indexOf("content-length: ")).split('\r')[0];
        };
        QCOMPARE(length(head.head), length(get.head));
        QVERIFY(pending.isEmpty());
        QCOMPARE(client.state(), QAbstractSocket::ConnectedState);

        // The same connection serves on after a pause, and closes when asked to.
        client.write("GET / HTTP/1.1\r\nConnection: close\r\n\r\n");
        const Reply last = readReply(client, pending);
        QCOMPARE(last.status, 200);
        QVERIFY(last.head.contains("connection: close"));
        QVERIFY(waitClosed(client));
    }

    void refusals_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<int>("status");
        QTest::addColumn<bool>("stays");
        QTest::newRow("POST to the status")
            << QByteArray("POST /api/status HTTP/1.1\r\n\r\n") << 405 << true;
        QTest::newRow("a body") << QByteArray("PUT / HTTP/1.1\r\nContent-Length: 2\r\n\r\nab")
                                << 400 << false;
        QTest::newRow("a path not served")
            << QByteArray("GET /api/statuses HTTP/1.1\r\n\r\n") << 404 << true;
        QTest::newRow("another site's name for loopback")
            << QByteArray("GET /api/status HTTP/1.1\r\nHost: rebound.example:5080\r\n\r\n") << 403
            << true;
        QTest::newRow("localhost")
            << QByteArray("GET / HTTP/1.1\r\nHost: LocalHost:5080\r\n\r\n") << 200 << true;
        QTest::newRow("IPv6 loopback")
            << QByteArray("GET / HTTP/1.1\r\nHost: [::1]:5080\r\n\r\n") << 200 << true;
        QTest::newRow("garbage") << QByteArray("\x16\x03\x01 hello\r\n\r\n") << 400 << false;
        QTest::newRow("a head over the bound")
            << "GET / HTTP/1.1\r\nX: " + QByteArray(HttpRequestReader::kMaxHeadBytes + 100, 'x')
            << 431 << false;
    }
    void refusals()
    {
        QFETCH(QByteArray, request);
        QTcpSocket client;
        connectClient(client);
        client.write(request);
        QByteArray pending;
        const Reply reply = readReply(client, pending);
        QVERIFY(reply.whole);
        QTEST(reply.status, "status");
        QFETCH(bool, stays);
        if (reply.status == 405)
            QVERIFY(reply.head.contains("allow: get, head"));
        if (stays) {
            client.write("GET /api/status HTTP/1.1\r\n\r\n");
            QCOMPARE(readReply(client, pending).status, 200);
        } else {
            QVERIFY(reply.head.contains("connection: close"));
            QVERIFY(waitClosed(client));
        }
    }

    void clientsAreCapped()
    {
        m_web->setClientLimit(2);
        QTcpSocket first, second, third;
        connectClient(first);
        connectClient(second);
        QTRY_COMPARE(m_web->clientCount(), 2);
        third.connectToHost(QHostAddress::LocalHost, m_web->port());
        QVERIFY(waitClosed(third));
        QCOMPARE(m_web->clientCount(), 2);
        first.abort();
        QTRY_COMPARE(m_web->clientCount(), 1);
        QTcpSocket fourth;
        connectClient(fourth);
        fourth.write("GET /api/status HTTP/1.1\r\n\r\n");
        QByteArray pending;
        QCOMPARE(readReply(fourth, pending).status, 200);
    }

    // Idle counts from the last whole request: a head trickled in byte by byte does not reset it.
    void idleClientsAreClosed()
    {
        QTcpSocket served, trickling;
        connectClient(served);
        connectClient(trickling);
        QTRY_COMPARE(m_web->clientCount(), 2);
        m_clock.set(m_clock.now().addSecs(WebService::kIdleSeconds - 1));
        served.write("GET / HTTP/1.1\r\n\r\n");
        QByteArray pending;
        QCOMPARE(readReply(served, pending).status, 200);
        trickling.write("GET / HT");
        QTest::qWait(50);
        m_clock.set(m_clock.now().addSecs(1));
        m_web->closeIdleClients();
        QVERIFY(waitClosed(trickling));
        QCOMPARE(served.state(), QAbstractSocket::ConnectedState);
        QCOMPARE(m_web->clientCount(), 1);
    }

    void stopClosesClients()
    {
        QTcpSocket client;
        connectClient(client);
        QTRY_COMPARE(m_web->clientCount(), 1);
        m_web->stop();
        QVERIFY(!m_web->isListening());
        QCOMPARE(m_web->clientCount(), 0);
        QVERIFY(waitClosed(client));
    }
};

QTEST_GUILESS_MAIN(TestWebService)
#include "tst_webservice.moc"
