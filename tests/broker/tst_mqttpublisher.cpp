// The publisher against a real Mosquitto broker: measurements and status
// answers keep separate retained topics, and a row given up has both cleared;
// a row's counters are retained on their own topic.
#include "../e2e/brokerrun.h"
#include "freeport.h"

#include "answers/acceptedanswer.h"
#include "broker/mqttpublisher.h"
#include "diagnostics/channeldiagnostics.h"
#include "model/channelcounters.h"
#include "model/stationstate.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {
AcceptedAnswer answerFromHex(const char* hex, const QString& statusText)
{
    const QByteArray bytes = QByteArray::fromHex(hex);
    AcceptedAnswer a;
    for (int i = 0; i < bytes.size(); ++i)
        a.record[i] = quint8(bytes[i]);
    a.kind = bytes.size() == AnswerRecord::kFullLength ? AcceptedAnswer::Kind::Measurement
                                                       : AcceptedAnswer::Kind::Status;
    a.row = a.record[AnswerRecord::kRow];
    a.terminal = 0;
    a.status = a.record[AnswerRecord::kStatus];
    a.statusText = statusText;
    const int stamp = a.kind == AcceptedAnswer::Kind::Measurement ? AnswerRecord::kFullStamp
                                                                  : AnswerRecord::kShortStamp;
    for (int i = 0; i < 6; ++i)
        a.time[size_t(i)] = a.record[stamp + i];
    if (a.kind == AcceptedAnswer::Kind::Measurement)
        a.measurement = MeasurementRecord::fromAnswer(a.record, QStringLiteral("."));
    return a;
}

// Row 1 (k 0): a measurement of "Tank A" and a status answer of the same row.
const char* const kMeasurement =
    "FF340A000000040038DD38DDB18300F307676C0554B40E331BC00018072003EA00A0"
    "00E30099002300A900D100A253D0062B8F7C36750D24100232040A0C0232040A0C1A"
    "54616E6B204120202020";
const char* const kStatus = "FF340B02000432040A0C1A54616E6B204120202020";

// topic -> payload of every retained message below the station's channels.
QMap<QString, QByteArray> retained(quint16 port,
                                   const QString& filter = QStringLiteral("kx7r/st1/channel/#"))
{
    QProcess sub;
    sub.start(BrokerRun::executable(QStringLiteral("mosquitto_sub")),
              {QStringLiteral("-h"), QStringLiteral("127.0.0.1"), QStringLiteral("-p"),
               QString::number(port), QStringLiteral("-t"), filter, QStringLiteral("-v"),
               QStringLiteral("--retained-only"), QStringLiteral("-W"), QStringLiteral("1")});
    sub.waitForFinished(5000);
    QMap<QString, QByteArray> out;
    for (const QByteArray& line : sub.readAllStandardOutput().split('\n'))
        if (const qsizetype space = line.indexOf(' '); space > 0)
            out.insert(QString::fromUtf8(line.left(space)), line.mid(space + 1));
    return out;
}

// A real broker in a temporary folder and a publisher of client st1 for it.
struct Rig {
    QTemporaryDir dir;
    BrokerRun broker{dir.path(), freePort()};
    StationState state;
    MqttPublisher publisher{state};

    // Publishing starts; the broker must be running by then.
    void startPublisher(const QString& qos = QString())
    {
        BrokerSettings settings;
        settings.host = QStringLiteral("127.0.0.1");
        settings.port = QString::number(broker.port());
        settings.clientId = QStringLiteral("st1");
        settings.qos = qos;
        publisher.start(settings, dir.filePath(QStringLiteral("spool")));
    }
};
} // namespace

class TestMqttPublisher : public QObject {
    Q_OBJECT

private slots:
    void retainedTopicsPerKindAndClearedWithTheRow()
    {
        Rig rig;
        QVERIFY2(rig.broker.start(), rig.broker.log().constData());
        rig.state.channels[0].blockAddress = 52;
        rig.state.channels[0].channelNumber = 3;
        rig.startPublisher();
        QTRY_VERIFY_WITH_TIMEOUT(rig.publisher.isConnected(), 10000);

        rig.publisher.beginTick();
        rig.publisher.accept(answerFromHex(kMeasurement, QStringLiteral("Получены данные")));
        rig.publisher.accept(answerFromHex(kStatus, QStringLiteral("Нет сигнала")));
        rig.publisher.endTick();
        QTRY_COMPARE_WITH_TIMEOUT(rig.publisher.queued(), 0, 5000);
        const auto kept = retained(rig.broker.port());
        const QJsonObject measurement =
            QJsonDocument::fromJson(kept.value(QStringLiteral("kx7r/st1/channel/1"))).object();
        const QJsonObject status =
            QJsonDocument::fromJson(kept.value(QStringLiteral("kx7r/st1/channel/1/status")))
                .object();
        QCOMPARE(measurement.value(QStringLiteral("kind")).toString(),
                 QStringLiteral("measurement"));
        QCOMPARE(measurement.value(QStringLiteral("address")).toInt(), 52);
        QCOMPARE(measurement.value(QStringLiteral("channel")).toInt(), 3);
        QCOMPARE(status.value(QStringLiteral("kind")).toString(), QStringLiteral("status"));
        QCOMPARE(status.value(QStringLiteral("seq")).toInteger(),
                 measurement.value(QStringLiteral("seq")).toInteger() + 1);

        rig.publisher.clearRows({0});
        QTRY_COMPARE_WITH_TIMEOUT(rig.publisher.queued(), 0, 5000);
        const auto cleared = retained(rig.broker.port());
        QVERIFY2(!cleared.contains(QStringLiteral("kx7r/st1/channel/1")) &&
                     !cleared.contains(QStringLiteral("kx7r/st1/channel/1/status")),
                 qPrintable(QStringList(cleared.keys()).join(u' ')));
        rig.publisher.stop();
    }

    // A tick of 150 answers, past the publisher's window and the broker's
    // receive maximum: every one arrives, in order, at either QoS.
    void aBatchArrivesWholeAndInOrder_data()
    {
        QTest::addColumn<QString>("qos");
        QTest::newRow("QoS 1") << QStringLiteral("1");
        QTest::newRow("QoS 2") << QStringLiteral("2");
    }
    void aBatchArrivesWholeAndInOrder()
    {
        QFETCH(QString, qos);
        Rig rig;
        QVERIFY2(rig.broker.start(), rig.broker.log().constData());
        Subscriber subscriber(rig.broker.port(), QStringLiteral("kx7r/st1/channel/#"));
        QTRY_VERIFY_WITH_TIMEOUT(
            rig.broker.log().contains(QByteArray("as ").append(Subscriber::clientId())), 10000);
        rig.startPublisher(qos);
        QTRY_VERIFY_WITH_TIMEOUT(rig.publisher.isConnected(), 10000);

        constexpr int kAnswers = 150;
        const AcceptedAnswer answer =
            answerFromHex(kMeasurement, QStringLiteral("Получены данные"));
        rig.publisher.beginTick();
        for (int i = 0; i < kAnswers; ++i)
            rig.publisher.accept(answer);
        rig.publisher.endTick();
        QTRY_COMPARE_WITH_TIMEOUT(rig.publisher.queued(), 0, 10000);
        QTRY_COMPARE_WITH_TIMEOUT(subscriber.payloads("kx7r/st1/channel/1 ").size(), kAnswers,
                                  5000);
        const QList<QByteArray> payloads = subscriber.payloads("kx7r/st1/channel/1 ");
        const qint64 first = QJsonDocument::fromJson(payloads.first())
                                 .object()
                                 .value(QStringLiteral("seq"))
                                 .toInteger();
        for (int i = 0; i < kAnswers; ++i)
            QCOMPARE(QJsonDocument::fromJson(payloads[i])
                         .object()
                         .value(QStringLiteral("seq"))
                         .toInteger(),
                     first + i);
        QCOMPARE(rig.state.counters.broker.published, quint64(kAnswers));
        rig.publisher.stop();
    }

    // A station with nothing to publish keeps its session: a broker that
    // wants a sign of life every 10 s gets one.
    void idleSessionIsKeptAlive()
    {
        Rig rig;
        rig.broker.setMaxKeepAlive(10);
        QVERIFY2(rig.broker.start(), rig.broker.log().constData());
        rig.startPublisher();
        QTRY_VERIFY_WITH_TIMEOUT(rig.publisher.isConnected(), 10000);
        QTest::qWait(20000); // the broker gives up on a client silent for 15..17 s
        QVERIFY2(rig.publisher.isConnected(), rig.broker.log().constData());
        QCOMPARE(rig.broker.sessionsOf("st1"), 1);
        QVERIFY2(!rig.broker.log().contains("exceeded timeout"), rig.broker.log().constData());
        rig.publisher.stop();
    }

    void diagnosticsRetainedPerRow()
    {
        Rig rig;
        QVERIFY2(rig.broker.start(), rig.broker.log().constData());
        rig.startPublisher();
        QTRY_VERIFY_WITH_TIMEOUT(rig.publisher.isConnected(), 10000);

        // Ten polls: six measurements, one status answer, three time-outs.
        ChannelCounters counters;
        counters.requestsSent = 10;
        counters.measurementsAccepted = 6;
        counters.statusAnswersAccepted = 1;
        counters.timeouts = 3;
        counters.lastAcceptedMsecs = 1765359002913; // 2025-12-10T09:30:02.913Z
        counters.responseTime.record(250);
        counters.responseTime.record(1250);
        rig.publisher.publishDiagnostics(4, ChannelDiagnostics::json(4, u"Бак 5"_s, counters));
        const QString topic = QStringLiteral("kx7r/st1/diagnostics/5");
        QByteArray payload;
        QTRY_VERIFY_WITH_TIMEOUT(
            !(payload = retained(rig.broker.port(), QStringLiteral("kx7r/st1/diagnostics/#"))
                            .value(topic))
                 .isEmpty(),
            5000);
        const QJsonObject o = QJsonDocument::fromJson(payload).object();
        QCOMPARE(o.value(u"row"_s).toInt(), 5);
        QCOMPARE(o.value(u"name"_s).toString(), u"Бак 5"_s);
        QCOMPARE(o.value(u"requests"_s).toInteger(), 10);
        QCOMPARE(o.value(u"measurements"_s).toInteger(), 6);
        QCOMPARE(o.value(u"statusAnswers"_s).toInteger(), 1);
        QCOMPARE(o.value(u"timeouts"_s).toInteger(), 3);
        QCOMPARE(o.value(u"answeredShare"_s).toDouble(), 0.7);
        QCOMPARE(o.value(u"responses"_s).toInteger(), 2);
        QCOMPARE(o.value(u"responseSumMs"_s).toInteger(), 1500);
        QCOMPARE(o.value(u"responseLastMs"_s).toInteger(), 1250);
        // Local time with its offset ("Z" where local time is UTC).
        const QString lastText = o.value(u"lastAnswer"_s).toString();
        QVERIFY2(QRegularExpression(u"\\.913(Z|[+-]\\d\\d:\\d\\d)$"_s).match(lastText).hasMatch(),
                 qPrintable(lastText));
        QCOMPARE(QDateTime::fromString(lastText, Qt::ISODateWithMs).toMSecsSinceEpoch(),
                 Q_INT64_C(1765359002913));
        rig.publisher.stop();
    }
};

QTEST_GUILESS_MAIN(TestMqttPublisher)
#include "tst_mqttpublisher.moc"
