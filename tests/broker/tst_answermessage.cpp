// The JSON an answer is published as, checked against records whose fields are
// worked out by hand.
#include "broker/answermessage.h"

#include "answers/acceptedanswer.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

namespace {
AnswerRecord recordFromHex(const char* hex)
{
    const QByteArray bytes = QByteArray::fromHex(hex);
    AnswerRecord record;
    for (int i = 0; i < bytes.size() && i < AnswerRecord::kCapacity; ++i)
        record[i] = quint8(bytes[i]);
    return record;
}

// The value the decoder hands on, its fields taken from the record as laid out
// for each length; the measurement's values decoded with a point.
AcceptedAnswer acceptedFrom(const AnswerRecord& record, int length, int terminal,
                            const QString& statusText)
{
    AcceptedAnswer a;
    a.kind = length == AnswerRecord::kFullLength ? AcceptedAnswer::Kind::Measurement
                                                 : AcceptedAnswer::Kind::Status;
    a.row = record[4];
    a.terminal = terminal;
    a.status = record[3];
    a.statusText = statusText;
    const int stamp = length == AnswerRecord::kFullLength ? 62 : 5;
    for (int i = 0; i < 6; ++i)
        a.time[size_t(i)] = record[stamp + i];
    a.record = record;
    if (a.kind == AcceptedAnswer::Kind::Measurement)
        a.measurement = MeasurementRecord::fromAnswer(record, QStringLiteral("."));
    return a;
}
} // namespace

class TestAnswerMessage : public QObject {
    Q_OBJECT

private slots:
    void statusAnswer()
    {
        // Row 2 (k 1), status 0x02, stamp 04:50:04 10.12.2026, name "NoSensor  ".
        const char* hex = "FF340B02010432040A0C1A4E6F53656E736F722020";
        const AcceptedAnswer answer = acceptedFrom(recordFromHex(hex), AnswerRecord::kShortLength,
                                                   0, QStringLiteral("Нет сигнала"));
        const QJsonObject o = QJsonDocument::fromJson(AnswerMessage::json(answer)).object();
        QCOMPARE(AnswerMessage::topic(answer), QStringLiteral("channel/2"));
        QCOMPARE(o.value(QStringLiteral("row")).toInt(), 2);
        QCOMPARE(o.value(QStringLiteral("name")).toString(), QStringLiteral("NoSensor"));
        QCOMPARE(o.value(QStringLiteral("terminal")).toString(), QStringLiteral("Терминал1"));
        QCOMPARE(o.value(QStringLiteral("status")).toInt(), 2);
        QCOMPARE(o.value(QStringLiteral("statusText")).toString(), QStringLiteral("Нет сигнала"));
        QCOMPARE(o.value(QStringLiteral("kind")).toString(), QStringLiteral("status"));
        QVERIFY(o.value(QStringLiteral("time"))
                    .toString()
                    .startsWith(QStringLiteral("2026-12-10T04:50:04")));
        QVERIFY(!o.contains(QStringLiteral("values")));
        QCOMPARE(o.value(QStringLiteral("record")).toString(), QString::fromLatin1(hex));
    }

    void measurementAnswer()
    {
        // Row 1; S1 0x38DD = 14557 tenths, sensor address 0x0A, T1 0x00A0 = 160
        // tenths, АЦП 0x0A0C = 2572, stamp 04:50:02 10.12.2026, name "Tank A".
        const char* hex = "FF340A000040040038DD38DDB18300F307676C0554B40E331BC00018072003EA00A0"
                          "00E30099002300A900D100A253D0062B8F7C36750D24100232040A0C0232040A0C1A"
                          "54616E6B204120202020";
        const AcceptedAnswer answer = acceptedFrom(recordFromHex(hex), AnswerRecord::kFullLength, 0,
                                                   QStringLiteral("Получены данные"));
        const QJsonObject o = QJsonDocument::fromJson(AnswerMessage::json(answer)).object();
        QCOMPARE(o.value(QStringLiteral("row")).toInt(), 1);
        QCOMPARE(o.value(QStringLiteral("name")).toString(), QStringLiteral("Tank A"));
        QCOMPARE(o.value(QStringLiteral("kind")).toString(), QStringLiteral("measurement"));
        QVERIFY(o.value(QStringLiteral("time"))
                    .toString()
                    .startsWith(QStringLiteral("2026-12-10T04:50:02")));
        const QJsonObject values = o.value(QStringLiteral("values")).toObject();
        QCOMPARE(values.size(), 29);
        QCOMPARE(values.value(QStringLiteral("Имя")).toString(), QStringLiteral("Tank A"));
        QCOMPARE(values.value(QStringLiteral("Время")).toString(), QStringLiteral("04:50:02"));
        QCOMPARE(values.value(QStringLiteral("Адрес датчика")).toDouble(), 10.0);
        QCOMPARE(values.value(QStringLiteral("Уровень S1, мм")).toDouble(), 1455.7);
        QCOMPARE(values.value(QStringLiteral("T1")).toDouble(), 16.0);
        QCOMPARE(values.value(QStringLiteral("АЦП")).toDouble(), 2572.0);
        QCOMPARE(o.value(QStringLiteral("record")).toString(), QString::fromLatin1(hex));
    }
};

QTEST_GUILESS_MAIN(TestAnswerMessage)
#include "tst_answermessage.moc"
