// The station against a real Mosquitto broker when things go wrong around it:
// topic levels with wildcards, two stations with one client id, a resolver that never answers,
// damage inside the spool, and a station killed while the broker is away.
#include "brokerrun.h"
#include "fieldrun.h"

#include "broker/brokersettings.h"
#include "model/settingsstore.h"

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTest>
#include <csignal>

namespace {

const QByteArray kScenario = "line 1\nblock 1\nchannel 0 std69 name=Tank_A timeout=2\n"
                             "channel 1 std69 name=Tank_B timeout=2\n";

QJsonObject objectOf(const QByteArray& payload)
{
    return QJsonDocument::fromJson(payload).object();
}

// A line with a pair of real records (seq, record hex) per answer received.
struct Received {
    qint64 seq;
    QByteArray payload;
};
QList<Received> receivedOf(Subscriber& subscriber)
{
    QList<Received> out;
    for (const QByteArray& payload : subscriber.payloads("kx7r/st1/channel/"))
        out.append({objectOf(payload).value(QStringLiteral("seq")).toInteger(-1), payload});
    return out;
}

} // namespace

class TestBrokerFaults : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        if (BrokerRun::executable(QStringLiteral("mosquitto")).isEmpty() ||
            BrokerRun::executable(QStringLiteral("mosquitto_sub")).isEmpty())
            QFAIL("mosquitto and mosquitto_sub are needed: ./run deps installs them");
    }

    // The password read from a file: out of the settings and the command line.
    void passwordFromAFile()
    {
        FieldRun run;
        BrokerRun broker(run.path(QString()), freePort());
        QVERIFY(broker.requirePassword(QStringLiteral("station"), QStringLiteral("right one")));
        QVERIFY2(broker.start(), broker.log().constData());
        const QString file = run.path(QStringLiteral("mqtt-password"));
        {
            QFile f(file);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("right one\n");
        }
        QVERIFY(run.startSimulator(kScenario));
        QVERIFY2(run.startStation(BrokerRun::stationArguments(broker.port()) +
                                  QStringList{QStringLiteral("--mqtt-username"),
                                              QStringLiteral("station"),
                                              QStringLiteral("--mqtt-password-file"), file}),
                 run.stationLog().constData());
        QTRY_VERIFY_WITH_TIMEOUT(run.stationLog().contains("connected to the MQTT broker"), 10000);
        QFile settings(run.configPath());
        QVERIFY(settings.open(QIODevice::ReadOnly));
        QVERIFY(!settings.readAll().contains("right one")); // only the file's name is stored
        QVERIFY(run.stopStation());
    }

    void wildcardLevelsAreRefused_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("# in the prefix")
            << QStringLiteral("TopicPrefix") << QStringLiteral("site#1");
        QTest::newRow("+ in the id") << QStringLiteral("ClientId") << QStringLiteral("line+2");
        QTest::newRow("empty level") << QStringLiteral("TopicPrefix") << QStringLiteral("a//b");
    }
    void wildcardLevelsAreRefused()
    {
        QFETCH(QString, value);
        QFETCH(QString, text);
        FieldRun run;
        BrokerRun broker(run.path(QString()), freePort());
        QVERIFY2(broker.start(), broker.log().constData());
        QVERIFY(run.startSimulator(kScenario));

        // Given on the command line: the station does not start.
        const QString option = value == u"ClientId" ? QStringLiteral("--mqtt-client-id")
                                                    : QStringLiteral("--mqtt-topic-prefix");
        QProcess refused;
        refused.setProcessChannelMode(QProcess::MergedChannels);
        refused.start(FieldRun::binary(QStringLiteral("kx7r-station")),
                      QStringList{QStringLiteral("--headless"), QStringLiteral("--config"),
                                  run.configPath()} +
                          BrokerRun::stationArguments(broker.port(), QString()) +
                          QStringList{option, text});
        QVERIFY(refused.waitForFinished(10000));
        QCOMPARE(refused.exitCode(), 2);
        QVERIFY2(refused.readAll().contains(QByteArray(text.toUtf8() + "' недопустим")),
                 "no reason given");

        // In the settings file: the station runs, publishes nothing and says why.
        {
            SettingsStore store(run.configPath());
            for (const auto& [name, field] :
                 {std::pair{QStringLiteral("Host"), QStringLiteral("127.0.0.1")},
                  std::pair{QStringLiteral("Port"), QString::number(broker.port())},
                  std::pair{value, text}})
                store.writeSetting(BrokerSettings::key(), name, field);
        }
        QVERIFY2(run.startStation(), run.stationLog().constData());
        QTRY_VERIFY_WITH_TIMEOUT(run.stationLog().contains("not publishing to the MQTT broker"),
                                 5000);
        QVERIFY(run.stationLog().contains(text.toUtf8()));
        QTest::qWait(2000);
        QVERIFY(!broker.log().contains("New client connected from 127.0.0.1"));
        QVERIFY(run.stopStation());
    }

    // Two stations given one id take the session from each other: each backs
    // off, says so once, and the broker sees a few sessions, not thousands.
    void sharedClientIdBacksOff()
    {
        FieldRun first;
        FieldRun second;
        BrokerRun broker(first.path(QString()), freePort());
        QVERIFY2(broker.start(), broker.log().constData());
        QVERIFY(first.startSimulator(kScenario));
        QVERIFY(second.startSimulator(kScenario));
        QVERIFY2(first.startStation(BrokerRun::stationArguments(broker.port())),
                 first.stationLog().constData());
        QTRY_VERIFY_WITH_TIMEOUT(first.stationLog().contains("connected to the MQTT broker"),
                                 10000);
        QVERIFY2(second.startStation(BrokerRun::stationArguments(broker.port())),
                 second.stationLog().constData());
        QTest::qWait(12000);
        const qsizetype connects = broker.sessionsOf("st1");
        QVERIFY2(connects >= 3 && connects <= 30, QByteArray::number(connects).constData());
        QCOMPARE(first.stationLog().count("took the session"), 1);
        QCOMPARE(second.stationLog().count("took the session"), 1);
        QVERIFY(first.stopStation());
        QVERIFY(second.stopStation());
    }

    // Without ClientId each installation makes its own id once and keeps it.
    void defaultClientIdIsMadeOnceAndKept()
    {
        FieldRun first;
        FieldRun second;
        BrokerRun broker(first.path(QString()), freePort());
        QVERIFY2(broker.start(), broker.log().constData());
        QVERIFY(first.startSimulator(kScenario));
        QVERIFY(second.startSimulator(kScenario));
        QStringList ids;
        for (FieldRun* run : {&first, &first, &second}) {
            const qsizetype before = run->stationLog().count("connected to the MQTT broker");
            QVERIFY(run->startStation(BrokerRun::stationArguments(broker.port(), QString())));
            QTRY_VERIFY_WITH_TIMEOUT(
                run->stationLog().count("connected to the MQTT broker") > before, 10000);
            const QRegularExpression as(
                QStringLiteral("connected to the MQTT broker \\S+ as (\\S+)"));
            QString id;
            for (auto it = as.globalMatch(QString::fromUtf8(run->stationLog())); it.hasNext();)
                id = it.next().captured(1);
            ids.append(id);
            QVERIFY(run->stopStation());
        }
        QVERIFY(ids[0].startsWith(QStringLiteral("kx7r-")));
        QCOMPARE(ids[1], ids[0]);  // kept across a restart
        QVERIFY(ids[2] != ids[0]); // another installation on the same host
    }

    // The station in a network of its own whose name server takes every
    // question and answers none: polling keeps its pace and SIGTERM ends it
    // at once.
    void unansweringResolverStallsNothing()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("unshare")).isEmpty() ||
            QStandardPaths::findExecutable(QStringLiteral("python3")).isEmpty() ||
            QProcess::execute(QStringLiteral("unshare"),
                              {QStringLiteral("-rmn"), QStringLiteral("true")}) != 0)
            QSKIP("needs unshare with user namespaces and python3");
        FieldRun run;
        const QString resolv = run.path(QStringLiteral("resolv.conf"));
        {
            QFile file(resolv);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("nameserver 127.0.0.1\noptions timeout:30 attempts:5\n");
        }
        // The silent name server lives as long as its parent, the station.
        const QString script =
            QStringLiteral("ip link set lo up && mount --bind '%1' /etc/resolv.conf && "
                           "python3 -c 'import os,socket,time\n"
                           "s=socket.socket(socket.AF_INET,socket.SOCK_DGRAM)\n"
                           "s.bind((\"127.0.0.1\",53))\n"
                           "p=os.getppid()\n"
                           "open(\"%2\",\"w\").close()\n"
                           "while os.getppid()==p: time.sleep(0.2)' & "
                           "while [ ! -e '%2' ]; do sleep 0.05; done; exec \"$@\"")
                .arg(resolv, run.path(QStringLiteral("resolver-ready")));
        run.setStationWrapper({QStringLiteral("unshare"), QStringLiteral("-rmn"),
                               QStringLiteral("sh"), QStringLiteral("-c"), script,
                               QStringLiteral("sh")});
        QVERIFY(run.startSimulator(kScenario));
        QVERIFY2(run.startStation({QStringLiteral("--mqtt-host"), QStringLiteral("broker.example"),
                                   QStringLiteral("--mqtt-client-id"), QStringLiteral("st1")}),
                 run.stationLog().constData());
        QTRY_VERIFY_WITH_TIMEOUT(run.stationLog().contains("publishing to the MQTT broker"), 5000);
        // Past two attempts given up (5 s each): a poll every 2 s throughout.
        const qsizetype polled = run.frames(1, "rx").size();
        QTest::qWait(10000);
        const qsizetype polls = run.frames(1, "rx").size() - polled;
        QVERIFY2(polls >= 4, QByteArray::number(polls).constData()); // one request per 2 s tick
        QVERIFY(run.stationLog().contains("does not answer"));

        QElapsedTimer ended;
        ended.start();
        run.station()->terminate();
        QVERIFY(run.station()->waitForFinished(5000));
        QVERIFY2(ended.elapsed() < 2000, QByteArray::number(ended.elapsed()).constData());
        QCOMPARE(run.station()->exitCode(), 0);
    }

    // Twenty zero bytes in the middle of the queue cost the records they hit,
    // no more; the log says how many.
    void damagedSpoolLosesOnlyTheDamage()
    {
        FieldRun run;
        const quint16 port = freePort();
        QVERIFY(run.startSimulator(kScenario));
        QVERIFY2(run.startStation(BrokerRun::stationArguments(port)), run.stationLog().constData());
        QTest::qWait(8000); // answers queue: the broker is not there
        QVERIFY(run.stopStation());
        const QDir spool(run.path(QStringLiteral("kx7r-mqtt.spool")));
        QString segment;
        qint64 largest = 0;
        for (const QFileInfo& info : spool.entryInfoList({QStringLiteral("*.seg")}, QDir::Files))
            if (info.size() > largest) {
                largest = info.size();
                segment = info.filePath();
            }
        QVERIFY2(largest > 300, QByteArray::number(largest).constData());
        {
            QFile file(segment);
            QVERIFY(file.open(QIODevice::ReadWrite));
            QVERIFY(file.seek(largest / 2));
            file.write(QByteArray(20, '\0'));
        }

        BrokerRun broker(run.path(QString()), port);
        QVERIFY2(broker.start(), broker.log().constData());
        Subscriber subscriber(broker.port(), QStringLiteral("kx7r/st1/channel/#"));
        QTRY_VERIFY_WITH_TIMEOUT(
            broker.log().contains(QByteArray("as ").append(Subscriber::clientId())), 10000);
        run.stopSimulator();
        QVERIFY2(run.startStation(BrokerRun::stationArguments(port)), run.stationLog().constData());
        const QRegularExpression damage(
            QStringLiteral("damaged bytes at offset \\d+ ; skipped, lost (\\d+) messages"));
        const QRegularExpression queued(QStringLiteral("(\\d+) MQTT messages queued in"));
        QTRY_VERIFY_WITH_TIMEOUT(queued.match(QString::fromUtf8(run.stationLog())).hasMatch(),
                                 5000);
        const auto lost = damage.match(QString::fromUtf8(run.stationLog()));
        QVERIFY2(lost.hasMatch(), run.stationLog().constData());
        QVERIFY(lost.captured(1).toInt() >= 1 && lost.captured(1).toInt() <= 2);
        const int kept = queued.match(QString::fromUtf8(run.stationLog())).captured(1).toInt();
        QVERIFY(kept >= 2);
        QTRY_COMPARE_WITH_TIMEOUT(receivedOf(subscriber).size(), kept, 10000);
        const QList<Received> received = receivedOf(subscriber);
        for (qsizetype i = 1; i < received.size(); ++i)
            QVERIFY(received[i].seq > received[i - 1].seq);
        QCOMPARE(received.last().seq - received.first().seq + 1, kept + lost.captured(1).toInt());
        QVERIFY(run.stopStation());
    }

    // The broker stops while answers are in flight and the station is killed
    // inside the outage: a persistent subscriber gets every answer the archive
    // has, in order, and a repeat is the same message with the same seq.
    void repeatsCarryTheirSeq()
    {
        FieldRun run;
        BrokerRun broker(run.path(QString()), freePort());
        QVERIFY2(broker.start(), broker.log().constData());
        QVERIFY(run.startSimulator(kScenario));
        Subscriber subscriber(broker.port(), QStringLiteral("kx7r/st1/channel/+"));
        QTRY_VERIFY_WITH_TIMEOUT(
            broker.log().contains(QByteArray("as ").append(Subscriber::clientId())), 10000);
        QVERIFY2(run.startStation(BrokerRun::stationArguments(broker.port())),
                 run.stationLog().constData());
        QTRY_VERIFY_WITH_TIMEOUT(receivedOf(subscriber).size() >= 2, 20000);
        broker.stop();
        QTest::qWait(5000);
        run.stationLog(); // what it said before it dies
        run.station()->kill();
        run.station()->waitForFinished(3000);
        QVERIFY2(run.startStation(BrokerRun::stationArguments(broker.port())),
                 run.stationLog().constData());
        QTest::qWait(5000);
        QVERIFY2(broker.start(), broker.log().constData());
        QTRY_VERIFY_WITH_TIMEOUT(run.stationLog().count("connected to the MQTT broker") == 2,
                                 15000);
        run.stopSimulator();
        QTest::qWait(3000);

        // The archive's lines, per row, against the answers received per seq.
        QMap<qint64, QByteArray> bySeq;
        qint64 last = -1;
        for (const Received& r : receivedOf(subscriber)) {
            QVERIFY(r.seq >= 0);
            if (bySeq.contains(r.seq)) {
                QCOMPARE(r.payload, bySeq.value(r.seq)); // a repeat, the same message
                continue;
            }
            QVERIFY2(r.seq > last, "out of order");
            last = r.seq;
            bySeq.insert(r.seq, r.payload);
        }
        int archived = 0;
        for (int row : {1, 2})
            archived += FieldRun::archiveFileOfRow(run.archivePath(), row).count('\n') - 1;
        QVERIFY2(archived >= 5, QByteArray::number(archived).constData()); // before, during, after
        QCOMPARE(bySeq.size(), archived);
        QVERIFY(run.stopStation());
    }
};

QTEST_GUILESS_MAIN(TestBrokerFaults)
#include "tst_brokerfaults.moc"
