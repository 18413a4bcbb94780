// The station publishing the simulated field to a real Mosquitto broker: every
// answer reaches a subscriber, in order and once, across a broker outage during
// which the station restarts; a broker that refuses the station stops nothing.
#include "brokerrun.h"
#include "fieldrun.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

namespace {

const QByteArray kChannels = "kx7r/st1/channel/";

// The record in hex a 69-byte answer (as the simulator logged it) must be
// published with for poll-list index k: the block's bytes, its clock as the
// measurement time and the channel's name padded to ten.
QString recordHexOf(const QString& frame, int k, const QByteArray& name)
{
    const auto answer = FrameSplitter::decodeChecked(frame.toLatin1().mid(1));
    if (!answer || answer->size() != 69)
        return {};
    QByteArray record = answer->left(62);
    record[0] = char(0xFF);
    record[4] = char(k);
    record += answer->mid(57, 6) + name.leftJustified(10, ' ');
    return QString::fromLatin1(record.toHex().toUpper());
}

} // namespace

class TestBroker : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        if (BrokerRun::executable(QStringLiteral("mosquitto")).isEmpty() ||
            BrokerRun::executable(QStringLiteral("mosquitto_sub")).isEmpty())
            QFAIL("mosquitto and mosquitto_sub are needed: ./run deps installs them");
    }

    void everyAnswerArrivesInOrderAcrossOutageAndRestart()
    {
        FieldRun run;
        BrokerRun broker(run.path(QString()), freePort());
        QVERIFY2(broker.start(), broker.log().constData());
        QVERIFY(run.startSimulator("line 1\nblock 1\n"
                                   "channel 0 std69 name=Tank_A timeout=2\n"
                                   "channel 1 std69 name=Tank_B timeout=2\n"));
        Subscriber subscriber(broker.port(), QStringLiteral("kx7r/st1/channel/+"));
        // Its subscription follows the connection by a round trip, long before
        // the station's first answer.
        QTRY_VERIFY_WITH_TIMEOUT(
            broker.log().contains(QByteArray("as ").append(Subscriber::clientId())), 10000);
        QVERIFY2(run.startStation(BrokerRun::stationArguments(broker.port())),
                 run.stationLog().constData());
        QTRY_VERIFY_WITH_TIMEOUT(subscriber.payloads(kChannels).size() >= 2, 20000);

        // 20 s without the broker; halfway the station restarts on its spool.
        broker.stop();
        QTRY_VERIFY_WITH_TIMEOUT(run.stationLog().contains("lost the MQTT broker"), 5000);
        QTest::qWait(8000);
        QVERIFY(run.stopStation());
        QVERIFY2(run.startStation(BrokerRun::stationArguments(broker.port())),
                 run.stationLog().constData());
        QTRY_VERIFY_WITH_TIMEOUT(run.stationLog().contains("MQTT messages queued in"), 5000);
        QTest::qWait(10000);
        QVERIFY2(broker.start(), broker.log().constData());
        QTRY_VERIFY_WITH_TIMEOUT(run.stationLog().count("connected to the MQTT broker") == 2,
                                 15000);

        // Every answer the station took (its archive has it) reaches the
        // subscriber, in the order the field sent them, and only once.
        run.stopSimulator();
        auto expected = [&] {
            QStringList hex;
            const QByteArray files[] = {FieldRun::archiveFileOfRow(run.archivePath(), 1),
                                        FieldRun::archiveFileOfRow(run.archivePath(), 2)};
            const QByteArray names[] = {"Tank A", "Tank B"};
            for (const QString& frame : run.frames(1, "tx")) {
                const auto answer = FrameSplitter::decodeChecked(frame.toLatin1().mid(1));
                const int k = answer && answer->size() > 4 ? answer->at(4) : -1;
                if (k < 0 || k > 1)
                    continue;
                const QString name = QString::fromLatin1(names[k]);
                if (files[k].contains(FieldRun::archiveLineOf(frame, k, name)))
                    hex.append(recordHexOf(frame, k, names[k]));
            }
            return hex;
        };
        auto received = [&] {
            QStringList hex;
            for (const QByteArray& payload : subscriber.payloads(kChannels))
                hex.append(QJsonDocument::fromJson(payload)
                               .object()
                               .value(QStringLiteral("record"))
                               .toString());
            return hex;
        };
        QTRY_COMPARE_WITH_TIMEOUT(received(), expected(), 20000);
        QVERIFY(expected().size() >= 8); // before, during and after the outage
        QVERIFY(run.stopStation());
    }

    void refusedCredentialsAreLoggedAndPollingGoesOn()
    {
        FieldRun run;
        BrokerRun broker(run.path(QString()), freePort());
        QVERIFY(broker.requirePassword(QStringLiteral("station"), QStringLiteral("right")));
        QVERIFY2(broker.start(), broker.log().constData());
        QVERIFY(run.startSimulator("line 1\nblock 1\nchannel 0 std69 timeout=2\n"));
        QVERIFY2(run.startStation(
                     BrokerRun::stationArguments(broker.port()) +
                     QStringList{QStringLiteral("--mqtt-username"), QStringLiteral("station"),
                                 QStringLiteral("--mqtt-password"), QStringLiteral("wrong")}),
                 run.stationLog().constData());
        QTRY_VERIFY_WITH_TIMEOUT(run.stationLog().contains("refused the connection"), 10000);
        const qsizetype polled = run.frames(1, "rx").size();
        QTRY_VERIFY_WITH_TIMEOUT(run.frames(1, "rx").size() >= polled + 2, 10000);
        QCOMPARE(run.stationLog().count("refused the connection"), 1); // once, not per retry
        QVERIFY(run.stopStation());
    }
};

QTEST_GUILESS_MAIN(TestBroker)
#include "tst_broker.moc"
