// The clients against the real station: a forwarded request reaches its line,
// the live client and the history client live through a station restart, and
// the history client fails clearly when there is no station to talk to.
#include "fieldrun.h"

#include "serial/hexframe.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QByteArray kField = "line 1\nblock 1\n"
                          "channel 0 std69 name=First timeout=2\n"
                          "channel 1 std63 name=Second timeout=2\n"
                          "line 2\nblock 5\n"
                          "channel 2 std69 name=Third timeout=2\n";

QStringList historyArguments(const FieldRun& run, const QString& out)
{
    return {QStringLiteral("--host"), QStringLiteral("127.0.0.1"),
            QStringLiteral("--port"), QString::number(run.historyPort()),
            QStringLiteral("--out"),  out};
}

int dataLineCount(const QByteArray& file)
{
    return qMax(0, int(file.count("\r\n")) - 1);
}

QByteArray stateFile(const QString& dir)
{
    QFile file(QDir(dir).filePath(QStringLiteral(".kx7r-history")));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestClients : public QObject {
    Q_OBJECT

private slots:
    void aForwardedRequestReachesItsLine()
    {
        FieldRun run;
        QVERIFY(run.startSimulator(kField));
        QVERIFY2(run.startStation(), run.stationLog().constData());
        QByteArray err;
        const int code = FieldRun::runClient(
            QStringLiteral("kx7r-live"),
            {QStringLiteral("--host"), QStringLiteral("127.0.0.1"), QStringLiteral("--port"),
             QString::number(run.livePort()), QStringLiteral("--forward"), QStringLiteral("3"),
             QStringLiteral("7"), QStringLiteral("--count"), QStringLiteral("0")},
            nullptr, &err, 10000);
        QVERIFY2(code == 0, err.constData());
        const QString forwarded = QString::fromLatin1(HexFrame::forwardedFrame(5, 2, 7).chopped(2));
        QTRY_VERIFY_WITH_TIMEOUT(run.frames(2, "rx").contains(forwarded), 8000);
        QVERIFY(!run.frames(1, "rx").contains(forwarded));
        QCOMPARE(run.simRows(QStringLiteral("forwarded block 5 channel 2 argument 7")).size(), 1);
        QVERIFY(run.stopStation());
    }

    void clientsLiveThroughAStationRestart()
    {
        FieldRun run;
        QVERIFY(run.startSimulator(kField));
        QVERIFY2(run.startStation(), run.stationLog().constData());

        QProcess live;
        live.start(FieldRun::binary(QStringLiteral("kx7r-live")),
                   {QStringLiteral("--host"), QStringLiteral("127.0.0.1"), QStringLiteral("--port"),
                    QString::number(run.livePort())});
        QVERIFY(live.waitForStarted());
        QByteArray liveOut;
        QByteArray liveErr;
        auto collect = [&] {
            liveOut += live.readAllStandardOutput();
            liveErr += live.readAllStandardError();
            return liveOut.count('\n');
        };
        QTRY_VERIFY_WITH_TIMEOUT(collect() >= 1, 15000);

        const QString mirror = run.path(QStringLiteral("mirror"));
        QTRY_VERIFY_WITH_TIMEOUT(
            dataLineCount(FieldRun::archiveFileOfRow(run.archivePath(), 1)) >= 1, 10000);
        QByteArray err;
        QVERIFY2(FieldRun::runClient(QStringLiteral("kx7r-history"), historyArguments(run, mirror),
                                     nullptr, &err) == 0,
                 err.constData());
        const QByteArray firstState = stateFile(mirror);
        QVERIFY2(firstState.startsWith("id=001\nstamp="), firstState.constData());
        // The station goes on writing: what was mirrored is the start of each file.
        const auto archivedEarly = FieldRun::archiveFiles(run.archivePath());
        const auto mirroredEarly = FieldRun::archiveFiles(mirror);
        QVERIFY(!mirroredEarly.isEmpty());
        for (auto it = mirroredEarly.begin(); it != mirroredEarly.end(); ++it)
            QVERIFY2(archivedEarly.value(it.key()).startsWith(it.value()), qPrintable(it.key()));

        // Restart: the stored configuration is polled again, the live client reconnects.
        QVERIFY(run.stopStation());
        const int linesBefore = dataLineCount(FieldRun::archiveFileOfRow(run.archivePath(), 1));
        const qsizetype simBefore = run.simLog().size();
        collect();
        const qsizetype liveBefore = liveOut.size();
        QVERIFY2(run.startStation(), run.stationLog().constData());
        QTRY_VERIFY_WITH_TIMEOUT(!run.frames(1, "rx", simBefore).isEmpty(), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(!run.frames(2, "rx", simBefore).isEmpty(), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(collect() > 0 && liveOut.size() > liveBefore, 15000);
        QCOMPARE(liveErr.count("connected to"), 2);
        QTRY_VERIFY_WITH_TIMEOUT(
            dataLineCount(FieldRun::archiveFileOfRow(run.archivePath(), 1)) > linesBefore, 10000);
        live.terminate();
        live.waitForFinished(3000);

        // The history client resumes with its ID and ends with the archive as it is.
        run.stopSimulator();
        QTest::qWait(1500); // what was on the lines reaches the archive
        QVERIFY2(FieldRun::runClient(QStringLiteral("kx7r-history"), historyArguments(run, mirror),
                                     nullptr, &err) == 0,
                 err.constData());
        QVERIFY2(stateFile(mirror).startsWith("id=001\nstamp="), stateFile(mirror).constData());
        QCOMPARE(FieldRun::archiveFiles(mirror), FieldRun::archiveFiles(run.archivePath()));
        QVERIFY(run.stopStation());
    }

    void historyFailsClearlyWithoutAStation()
    {
        QTemporaryDir dir;
        QByteArray err;
        const int code = FieldRun::runClient(QStringLiteral("kx7r-history"),
                                             {QStringLiteral("--host"), QStringLiteral("127.0.0.1"),
                                              QStringLiteral("--port"), QString::number(freePort()),
                                              QStringLiteral("--out"), dir.path()},
                                             nullptr, &err, 10000);
        QCOMPARE(code, 2);
        QVERIFY2(err.contains("cannot reach the station"), err.constData());
        QVERIFY(QDir(dir.path()).isEmpty());
        // A folder that does not exist yet is not made for a failed run.
        const QString out = dir.filePath(QStringLiteral("mirror"));
        QCOMPARE(FieldRun::runClient(QStringLiteral("kx7r-history"),
                                     {QStringLiteral("--host"), QStringLiteral("127.0.0.1"),
                                      QStringLiteral("--port"), QString::number(freePort()),
                                      QStringLiteral("--out"), out},
                                     nullptr, nullptr, 10000),
                 2);
        QVERIFY(!QFileInfo::exists(out));
    }

    // A peer that closes every connection at once, as the history service does
    // while another client holds it.
    void historySaysTheServiceIsBusy()
    {
        QTcpServer peer;
        QVERIFY(peer.listen(QHostAddress::LocalHost, 0));
        connect(&peer, &QTcpServer::newConnection, this, [&peer] {
            QTcpSocket* socket = peer.nextPendingConnection();
            socket->disconnectFromHost();
        });
        QTemporaryDir dir;
        QProcess history;
        history.start(FieldRun::binary(QStringLiteral("kx7r-history")),
                      {QStringLiteral("--host"), QStringLiteral("127.0.0.1"),
                       QStringLiteral("--port"), QString::number(peer.serverPort()),
                       QStringLiteral("--out"), dir.filePath(QStringLiteral("mirror"))});
        QVERIFY(history.waitForStarted());
        QTRY_COMPARE_WITH_TIMEOUT(history.state(), QProcess::NotRunning, 15000);
        const QByteArray err = history.readAllStandardError();
        QVERIFY2(err.contains("busy with another client"), err.constData());
    }

    // With no station, the live client says so, once and not on every retry.
    void liveReportsFailedConnections()
    {
        QProcess live;
        live.start(FieldRun::binary(QStringLiteral("kx7r-live")),
                   {QStringLiteral("--host"), QStringLiteral("127.0.0.1"), QStringLiteral("--port"),
                    QString::number(freePort())});
        QVERIFY(live.waitForStarted());
        QByteArray err;
        QTRY_VERIFY_WITH_TIMEOUT((err += live.readAllStandardError()).contains("cannot connect"),
                                 5000);
        QTest::qWait(2500); // a few more attempts
        err += live.readAllStandardError();
        live.terminate();
        live.waitForFinished(3000);
        QCOMPARE(err.count("cannot connect"), 1);
    }

    void historyFailsClearlyOnAnswersOutOfProtocol()
    {
        // A peer that answers every request with text no station sends.
        QTcpServer peer;
        QVERIFY(peer.listen(QHostAddress::LocalHost, 0));
        connect(&peer, &QTcpServer::newConnection, this, [&peer] {
            QTcpSocket* socket = peer.nextPendingConnection();
            connect(socket, &QTcpSocket::readyRead, socket, [socket] {
                socket->readAll();
                socket->write("HELLO\r\n");
            });
        });
        QTemporaryDir dir;
        QProcess history;
        history.start(FieldRun::binary(QStringLiteral("kx7r-history")),
                      {QStringLiteral("--host"), QStringLiteral("127.0.0.1"),
                       QStringLiteral("--port"), QString::number(peer.serverPort()),
                       QStringLiteral("--out"), dir.path()});
        QVERIFY(history.waitForStarted());
        QTRY_COMPARE_WITH_TIMEOUT(history.state(), QProcess::NotRunning, 15000);
        QCOMPARE(history.exitCode(), 3);
        QVERIFY(history.readAllStandardError().contains("out of protocol"));
    }
};

QTEST_GUILESS_MAIN(TestClients)
#include "tst_clients.moc"
