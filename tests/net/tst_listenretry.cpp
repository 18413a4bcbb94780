// A service whose port is taken keeps trying and listens once the port is
// free, with one log line for the episode; and the rate-limited log of
// clients coming and going.
#include "model/logcategories.h"
#include "net/badinputlog.h"
#include "net/connectionlog.h"
#include "net/listenretry.h"
#include "net/tcptexts.h"

#include <QHostAddress>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

// The lines logged while it lives.
class LogCapture {
public:
    LogCapture()
    {
        s_lines = &m_lines;
        s_previous = qInstallMessageHandler(&LogCapture::handle);
    }
    ~LogCapture()
    {
        qInstallMessageHandler(s_previous);
        s_lines = nullptr;
    }
    const QStringList& lines() const { return m_lines; }

private:
    static void handle(QtMsgType, const QMessageLogContext&, const QString& message)
    {
        if (s_lines)
            s_lines->append(message);
    }
    QStringList m_lines;
    static inline QStringList* s_lines = nullptr;
    static inline QtMessageHandler s_previous = nullptr;
};

} // namespace

class TestListenRetry : public QObject {
    Q_OBJECT

private slots:
    void aTakenPortIsRetriedUntilItIsFree()
    {
        auto occupier = std::make_unique<QTcpServer>();
        QVERIFY(occupier->listen(QHostAddress::LocalHost, 0));
        const quint16 port = occupier->serverPort();
        QTcpServer server;
        int attempts = 0;
        ListenRetry retry(
            lcNet, QStringLiteral("test service"),
            [&] {
                ++attempts;
                return server.listen(QHostAddress::LocalHost, port)
                           ? Outcome::success()
                           : TcpTexts::listenFailure(server);
            },
            [&] { return QStringLiteral("127.0.0.1:%1").arg(port); });
        QSignalSpy changes(&retry, &ListenRetry::stateChanged);

        LogCapture log;
        QVERIFY(!retry.start());
        QCOMPARE(retry.state(), ListenRetry::State::Retrying);
        QVERIFY2(retry.error().endsWith(u"on API 'bind'"), qPrintable(retry.error()));
        // Another refused attempt, no more lines.
        QTRY_VERIFY_WITH_TIMEOUT(attempts >= 2, 2 * ListenRetry::kRetryMs);
        QCOMPARE(log.lines().size(), 1);
        QVERIFY2(log.lines().first().startsWith(
                     QStringLiteral("test service cannot listen on 127.0.0.1:%1 : ").arg(port)),
                 qPrintable(log.lines().first()));

        occupier.reset();
        QTRY_VERIFY_WITH_TIMEOUT(server.isListening(), 2 * ListenRetry::kRetryMs);
        QCOMPARE(retry.state(), ListenRetry::State::Listening);
        QVERIFY(retry.error().isEmpty());
        QCOMPARE(log.lines().size(), 2);
        QCOMPARE(log.lines().last(),
                 QStringLiteral("test service listening on 127.0.0.1:%1 at last").arg(port));
        QCOMPARE(server.serverPort(), port);
        QVERIFY(changes.size() >= 2);

        // Stopped: no attempt follows.
        server.close();
        retry.stop();
        const int before = attempts;
        QTest::qWait(ListenRetry::kRetryMs + 500);
        QCOMPARE(attempts, before);
        QCOMPARE(retry.state(), ListenRetry::State::Stopped);
    }

    void connectionLinesAreCappedAndCounted()
    {
        LogCapture log;
        {
            ConnectionLog lines(lcNet, QStringLiteral("test service"));
            for (int i = 0; i < 40; ++i)
                lines.report(QStringLiteral("client %1 connected").arg(i));
            QCOMPARE(log.lines().size(), ConnectionLog::kLinesPerWindow);
            QCOMPARE(log.lines().last(), u"client 9 connected"_s);
        }
        // The rest are counted in one line when the log goes (or the minute ends).
        QCOMPARE(log.lines().size(), ConnectionLog::kLinesPerWindow + 1);
        QCOMPARE(log.lines().last(), u"test service: 30 more lines about its clients left out"_s);
    }

    void badRequestsOfAllConnectionsShareTheServiceCap()
    {
        LogCapture log;
        {
            ConnectionLog service(lcNet, QStringLiteral("test service"));
            // Ten garbage clients, each within its own cap of lines.
            for (int c = 0; c < 10; ++c) {
                BadInputLog input(lcNet, u"client %1"_s.arg(c), &service);
                for (int i = 0; i < 3; ++i)
                    input.report(u"sent garbage"_s);
                input.close();
            }
            QCOMPARE(log.lines().size(), ConnectionLog::kLinesPerWindow);
        }
        QCOMPARE(log.lines().last(), u"test service: 20 more lines about its clients left out"_s);
    }
};

QTEST_GUILESS_MAIN(TestListenRetry)
#include "tst_listenretry.moc"
