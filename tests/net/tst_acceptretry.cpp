// A server that ran out of descriptors accepts again once some are free: Qt
// alone would stop accepting for good.
#include "loopbackclient.h"
#include "model/logcategories.h"
#include "net/acceptretry.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QHostAddress>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTest>
#include <sys/resource.h>
#include <unistd.h>

class TestAcceptRetry : public QObject {
    Q_OBJECT

private slots:
    void aServerOutOfDescriptorsAcceptsAgain()
    {
        QTcpServer server;
        rlimit saved{};
        QCOMPARE(getrlimit(RLIMIT_NOFILE, &saved), 0);
        // The limit goes back the moment the accept fails, before AcceptRetry
        // sees it: the sanitizers need descriptors of their own for their checks.
        bool failed = false;
        connect(&server, &QTcpServer::acceptError, this, [&] {
            setrlimit(RLIMIT_NOFILE, &saved);
            failed = true;
        });
        new AcceptRetry(server, lcAnswers, QStringLiteral("test service"));
        QVERIFY(server.listen(QHostAddress::LocalHost));
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression(QStringLiteral("^test service cannot accept")));

        const int lowestFree = ::dup(0);
        QVERIFY(lowestFree >= 0);
        ::close(lowestFree);
        // The client's socket takes the last descriptor allowed; the accept has none.
        rlimit tight = saved;
        tight.rlim_cur = rlim_t(lowestFree) + 1;
        QCOMPARE(setrlimit(RLIMIT_NOFILE, &tight), 0);
        const int first = connectLoopbackClient(server.serverPort());
        const QDeadlineTimer deadline(3000);
        while (first >= 0 && !failed && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        QCOMPARE(setrlimit(RLIMIT_NOFILE, &saved), 0);
        QVERIFY(failed);

        QTest::ignoreMessage(QtInfoMsg, "test service accepts connections again");
        const int second = connectLoopbackClient(server.serverPort());
        QVERIFY(second >= 0);
        QTRY_VERIFY_WITH_TIMEOUT(server.hasPendingConnections(), 3 * AcceptRetry::kRetryMs);
        QVERIFY(server.nextPendingConnection());
        QTRY_VERIFY(server.hasPendingConnections());
        QVERIFY(server.nextPendingConnection());
        ::close(first);
        ::close(second);
    }
};

QTEST_GUILESS_MAIN(TestAcceptRetry)
#include "tst_acceptretry.moc"
