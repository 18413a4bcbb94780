// The station against a real Mosquitto broker over TLS: a CA that cannot be
// used means no connection at all, each handshake failure is named for what
// failed, and the broker's own CA and name make a session that holds.
#include "brokerrun.h"
#include "fieldrun.h"

#include <QTest>

namespace {
const QByteArray kScenario = "line 1\nblock 1\nchannel 0 std69 name=Tank_A timeout=2\n"
                             "channel 1 std69 name=Tank_B timeout=2\n";
} // namespace

class TestBrokerTls : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        if (BrokerRun::executable(QStringLiteral("mosquitto")).isEmpty())
            QFAIL("mosquitto is needed: ./run deps installs it");
    }

    void unusableCaMeansNoConnection_data()
    {
        QTest::addColumn<QByteArray>("content"); // empty: no file at all
        QTest::addColumn<QString>("logged");
        QTest::newRow("missing") << QByteArray() << QStringLiteral("cannot be read");
        QTest::newRow("no certificate")
            << QByteArray("just text\n") << QStringLiteral("holds no certificate");
    }
    void unusableCaMeansNoConnection()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, logged);
        FieldRun run;
        BrokerRun broker(run.path(QString()), freePort());
        QVERIFY2(broker.start(), broker.log().constData());
        const QString ca = run.path(QStringLiteral("ca.pem"));
        if (!content.isEmpty()) {
            QFile file(ca);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(content);
        }
        QVERIFY(run.startSimulator(kScenario));
        QVERIFY2(run.startStation(BrokerRun::stationArguments(broker.port()) +
                                  QStringList{QStringLiteral("--mqtt-tls-ca"), ca}),
                 run.stationLog().constData());
        QTRY_VERIFY_WITH_TIMEOUT(run.stationLog().contains(logged.toUtf8()), 5000);
        QTest::qWait(3000); // long enough for a few attempts in clear
        QCOMPARE(broker.sessionsOf("st1"), 0);
        QVERIFY(run.stationLog().contains("not publishing"));
        QVERIFY(run.stopStation());
    }

    // A CA, and a server certificate it signed for a name.
    static bool makeCertificates(const QString& folder, const QString& name, const QString& server)
    {
        const QString openssl = QStandardPaths::findExecutable(QStringLiteral("openssl"));
        const QDir dir(folder);
        const auto f = [&](const QString& file) { return dir.filePath(name + u'-' + file); };
        {
            QFile ext(f(QStringLiteral("ext")));
            if (!ext.open(QIODevice::WriteOnly))
                return false;
            ext.write("subjectAltName=DNS:" + server.toUtf8() + '\n');
        }
        const QList<QStringList> steps = {
            {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"),
             QStringLiteral("rsa:2048"), QStringLiteral("-nodes"), QStringLiteral("-keyout"),
             f(QStringLiteral("ca.key")), QStringLiteral("-out"), f(QStringLiteral("ca.pem")),
             QStringLiteral("-days"), QStringLiteral("2"), QStringLiteral("-subj"),
             QStringLiteral("/CN=kx7r test CA ") + name},
            {QStringLiteral("req"), QStringLiteral("-newkey"), QStringLiteral("rsa:2048"),
             QStringLiteral("-nodes"), QStringLiteral("-keyout"), f(QStringLiteral("server.key")),
             QStringLiteral("-out"), f(QStringLiteral("server.csr")), QStringLiteral("-subj"),
             QStringLiteral("/CN=") + server},
            {QStringLiteral("x509"), QStringLiteral("-req"), QStringLiteral("-in"),
             f(QStringLiteral("server.csr")), QStringLiteral("-CA"), f(QStringLiteral("ca.pem")),
             QStringLiteral("-CAkey"), f(QStringLiteral("ca.key")),
             QStringLiteral("-CAcreateserial"), QStringLiteral("-out"),
             f(QStringLiteral("server.pem")), QStringLiteral("-days"), QStringLiteral("2"),
             QStringLiteral("-extfile"), f(QStringLiteral("ext"))},
        };
        for (const QStringList& step : steps) {
            QProcess p;
            p.setProcessChannelMode(QProcess::MergedChannels);
            p.start(openssl, step);
            if (!p.waitForFinished(30000) || p.exitCode() != 0)
                return false;
        }
        return true;
    }

    // Handshake failures say what failed, and nothing is sent in clear.
    void tlsFailuresAreNamed_data()
    {
        QTest::addColumn<QString>("server"); // the name the broker's certificate is for
        QTest::addColumn<bool>("brokerTls");
        QTest::addColumn<bool>("sameCa");
        QTest::addColumn<QString>("logged");
        QTest::newRow("plain port") << "localhost" << false << true << "no TLS on that port";
        QTest::newRow("another CA")
            << "localhost" << true << false << "certificate verification failed";
        QTest::newRow("another name")
            << "broker.example" << true << true << "certificate is for another name";
    }
    void tlsFailuresAreNamed()
    {
        QFETCH(QString, server);
        QFETCH(bool, brokerTls);
        QFETCH(bool, sameCa);
        QFETCH(QString, logged);
        if (QStandardPaths::findExecutable(QStringLiteral("openssl")).isEmpty())
            QSKIP("needs openssl");
        FieldRun run;
        QVERIFY(makeCertificates(run.path(QString()), QStringLiteral("a"), server));
        QVERIFY(makeCertificates(run.path(QString()), QStringLiteral("b"), server));
        BrokerRun broker(run.path(QString()), freePort());
        if (brokerTls)
            broker.useTls(run.path(QStringLiteral("a-server.pem")),
                          run.path(QStringLiteral("a-server.key")));
        QVERIFY2(broker.start(), broker.log().constData());
        QVERIFY(run.startSimulator(kScenario));
        QVERIFY2(run.startStation(
                     {QStringLiteral("--mqtt-host"), QStringLiteral("localhost"),
                      QStringLiteral("--mqtt-port"), QString::number(broker.port()),
                      QStringLiteral("--mqtt-client-id"), QStringLiteral("st1"),
                      QStringLiteral("--mqtt-tls-ca"),
                      run.path(sameCa ? QStringLiteral("a-ca.pem") : QStringLiteral("b-ca.pem"))}),
                 run.stationLog().constData());
        QTRY_VERIFY2_WITH_TIMEOUT(run.stationLog().contains(logged.toUtf8()),
                                  run.stationLog().constData(), 10000);
        QCOMPARE(broker.sessionsOf("st1"), 0);
        QVERIFY(!run.stationLog().contains("connected to the MQTT broker"));
        QVERIFY(run.stopStation());
    }

    // The broker's own CA and name: the session is made over TLS and holds.
    void tlsWithTheRightCaConnects()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("openssl")).isEmpty())
            QSKIP("needs openssl");
        FieldRun run;
        QVERIFY(makeCertificates(run.path(QString()), QStringLiteral("a"),
                                 QStringLiteral("localhost")));
        BrokerRun broker(run.path(QString()), freePort());
        broker.useTls(run.path(QStringLiteral("a-server.pem")),
                      run.path(QStringLiteral("a-server.key")));
        QVERIFY2(broker.start(), broker.log().constData());
        QVERIFY(run.startSimulator(kScenario));
        QVERIFY2(run.startStation({QStringLiteral("--mqtt-host"), QStringLiteral("localhost"),
                                   QStringLiteral("--mqtt-port"), QString::number(broker.port()),
                                   QStringLiteral("--mqtt-client-id"), QStringLiteral("st1"),
                                   QStringLiteral("--mqtt-tls-ca"),
                                   run.path(QStringLiteral("a-ca.pem"))}),
                 run.stationLog().constData());
        QTRY_VERIFY2_WITH_TIMEOUT(run.stationLog().contains("connected to the MQTT broker"),
                                  run.stationLog().constData(), 10000);
        // Two polls later the session is still the first one.
        QTest::qWait(4500);
        QCOMPARE(broker.sessionsOf("st1"), 1);
        QVERIFY(!run.stationLog().contains("TLS with the MQTT broker"));
        QVERIFY(run.stopStation());
    }
};

QTEST_GUILESS_MAIN(TestBrokerTls)
#include "tst_brokertls.moc"
