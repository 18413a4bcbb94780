// The JSON an answer is published as, checked against records whose fields are
// worked out by hand, and the times it carries under a zone with summer time.
#include "broker/answermessage.h"

#include "answers/acceptedanswer.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>
#include <ctime>
#include <limits>

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

AnswerMessage::Context context()
{
    AnswerMessage::Context c;
    c.address = 52;
    c.channel = 3;
    c.receivedMs = 1765342204123; // 2025-12-10T04:50:04.123Z
    c.receivedOffset = 3600;
    return c;
}

QJsonObject published(const AcceptedAnswer& answer, qint64 seq)
{
    return QJsonDocument::fromJson(AnswerMessage::json(answer, context(), seq)).object();
}

// A status answer of row 2 at 04:50:04 10.12.2026; name "NoSensor".
constexpr char kStatusHex[] = "FF340B02010432040A0C1A4E6F53656E736F722020";

// That status answer with the block stamp DDMMYYYYhhmmss.
AcceptedAnswer statusAnswerStamped(const QString& stamp)
{
    AnswerRecord record = recordFromHex(kStatusHex);
    const int fields[] = {12, 10, 8, 0, 2, 4}; // second .. year, as text offsets
    for (int i = 0; i < 6; ++i) {
        const int value = stamp.mid(fields[i], i == 5 ? 4 : 2).toInt();
        record[AnswerRecord::kShortStamp + i] = quint8(i == 5 ? value - 2000 : value);
    }
    return acceptedFrom(record, AnswerRecord::kShortLength, 0, QStringLiteral("Нет сигнала"));
}

void setZone(const char* zone)
{
    qputenv("TZ", zone);
    tzset();
}
} // namespace

class TestAnswerMessage : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { setZone("Europe/Berlin"); }
    void cleanup() { setZone("Europe/Berlin"); }

    void statusAnswer()
    {
        // Row 2 (k 1), status 0x02, stamp 04:50:04 10.12.2026, name "NoSensor  ".
        const char* hex = "FF340B02010432040A0C1A4E6F53656E736F722020";
        const AcceptedAnswer answer = acceptedFrom(recordFromHex(hex), AnswerRecord::kShortLength,
                                                   0, QStringLiteral("Нет сигнала"));
        const QJsonObject o = published(answer, 41);
        QCOMPARE(AnswerMessage::topic(answer), QStringLiteral("channel/2/status"));
        QCOMPARE(o.value(QStringLiteral("seq")).toInteger(), 41);
        QCOMPARE(o.value(QStringLiteral("address")).toInt(), 52);
        QCOMPARE(o.value(QStringLiteral("channel")).toInt(), 3);
        QCOMPARE(o.value(QStringLiteral("stamp")).toString(), QStringLiteral("10122026045004"));
        QCOMPARE(o.value(QStringLiteral("received")).toString(),
                 QStringLiteral("2025-12-10T05:50:04.123+01:00"));
        QCOMPARE(o.value(QStringLiteral("row")).toInt(), 2);
        QCOMPARE(o.value(QStringLiteral("name")).toString(), QStringLiteral("NoSensor"));
        QCOMPARE(o.value(QStringLiteral("terminal")).toString(), QStringLiteral("Терминал1"));
        QCOMPARE(o.value(QStringLiteral("status")).toInt(), 2);
        QCOMPARE(o.value(QStringLiteral("statusText")).toString(), QStringLiteral("Нет сигнала"));
        QCOMPARE(o.value(QStringLiteral("kind")).toString(), QStringLiteral("status"));
        QCOMPARE(o.value(QStringLiteral("time")).toString(),
                 QStringLiteral("2026-12-10T04:50:04+01:00"));
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
        const QJsonObject o = published(answer, 5000000000);
        QCOMPARE(AnswerMessage::topic(answer), QStringLiteral("channel/1"));
        QCOMPARE(o.value(QStringLiteral("seq")).toInteger(), 5000000000);
        QCOMPARE(o.value(QStringLiteral("row")).toInt(), 1);
        QCOMPARE(o.value(QStringLiteral("name")).toString(), QStringLiteral("Tank A"));
        QCOMPARE(o.value(QStringLiteral("kind")).toString(), QStringLiteral("measurement"));
        QCOMPARE(o.value(QStringLiteral("time")).toString(),
                 QStringLiteral("2026-12-10T04:50:02+01:00"));
        QCOMPARE(o.value(QStringLiteral("stamp")).toString(), QStringLiteral("10122026045002"));
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

    // Berlin: +01:00 in winter, +02:00 in summer; 29.03.2015 02:00-03:00 does
    // not exist, and its day began at +01:00.
    void timeCarriesTheOffsetThenInForce_data()
    {
        QTest::addColumn<QString>("stamp"); // DDMMYYYYhhmmss
        QTest::addColumn<QString>("time");  // empty for null
        QTest::newRow("winter") << "10012015120000"
                                << "2015-01-10T12:00:00+01:00";
        QTest::newRow("summer") << "01072015235959"
                                << "2015-07-01T23:59:59+02:00";
        QTest::newRow("before the gap") << "29032015015959"
                                        << "2015-03-29T01:59:59+01:00";
        QTest::newRow("in the gap") << "29032015023000"
                                    << "2015-03-29T02:30:00+01:00";
        QTest::newRow("after the gap") << "29032015030000"
                                       << "2015-03-29T03:00:00+02:00";
        QTest::newRow("31.09") << "31092015120000"
                               << "";
        QTest::newRow("29.02.2015") << "29022015120000"
                                    << "";
    }
    void timeCarriesTheOffsetThenInForce()
    {
        QFETCH(QString, stamp);
        QFETCH(QString, time);
        const QJsonObject o = published(statusAnswerStamped(stamp), 1);
        QCOMPARE(o.value(QStringLiteral("stamp")).toString(), stamp);
        if (time.isEmpty())
            QVERIFY(o.value(QStringLiteral("time")).isNull());
        else
            QCOMPARE(o.value(QStringLiteral("time")).toString(), time);
    }

    // Every field non-zero and different, the numbers as the archive writes
    // them with a point: a whole number stays whole however large.
    void valuesAreTheArchiveTexts_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QByteArray>("text");
        QTest::newRow("sensor address 42") << QStringLiteral("Адрес датчика") << QByteArray("42");
        QTest::newRow("S1 1235 x 0.1") << QStringLiteral("Уровень S1, мм") << QByteArray("123.5");
        QTest::newRow("V 123456 x 0.001") << QStringLiteral("V жидк, м3") << QByteArray("123.456");
        QTest::newRow("total mass 55110 x 0.001, zero dropped")
            << QStringLiteral("Общая масса, т") << QByteArray("55.11");
        QTest::newRow("vapour mass below one")
            << QStringLiteral("Масса пара, т") << QByteArray("0.789");
        QTest::newRow("T2 -200 x 0.1, whole") << QStringLiteral("T2") << QByteArray("-20");
        QTest::newRow("period 2 one million, no exponent")
            << QStringLiteral("период 2") << QByteArray("1000000");
        QTest::newRow("ADC, the last") << QStringLiteral("АЦП") << QByteArray("43981");
    }
    void valuesAreTheArchiveTexts()
    {
        QFETCH(QString, title);
        QFETCH(QByteArray, text);
        const char* hex = "FF342A001D00000004D309290D8001C801E24000D43103151E610058080203F900FB"
                          "FF380007FFF101900C35FC1830390F4240631A0A02370D050000ABCD3A2F0D1C0B18"
                          "C1E0EA2D372020202020";
        const AcceptedAnswer answer = acceptedFrom(recordFromHex(hex), AnswerRecord::kFullLength, 0,
                                                   QStringLiteral("Получены данные"));
        const QByteArray payload = AnswerMessage::json(answer, context(), 1);
        const QByteArray field = '"' + title.toUtf8() + "\":" + text;
        const qsizetype at = payload.indexOf(field);
        QVERIFY2(at > 0, payload.constData());
        const char next = payload.at(at + field.size());
        QVERIFY(next == ',' || next == '}');
        const QJsonObject values = published(answer, 1).value(QStringLiteral("values")).toObject();
        QCOMPARE(values.value(QStringLiteral("Имя")).toString(), QStringLiteral("Бак-7"));
        QCOMPARE(values.value(QStringLiteral("Время")).toString(), QStringLiteral("13:47:58"));
    }

    // received: the station's clock at its own offset then, with milliseconds.
    void receivedIsTheLocalTimeWithMilliseconds_data()
    {
        QTest::addColumn<qint64>("ms");
        QTest::addColumn<int>("offset");
        QTest::addColumn<QString>("received");
        QTest::newRow("epoch, UTC") << qint64(0) << 0 << "1970-01-01T00:00:00.000Z";
        QTest::newRow("a millisecond before the epoch")
            << qint64(-1) << 0 << "1969-12-31T23:59:59.999Z";
        QTest::newRow("leap day at +05:30")
            << qint64(951782400007) << 19800 << "2000-02-29T05:30:00.007+05:30";
        QTest::newRow("leap day at -09:30, the day before")
            << qint64(951782400000) << -34200 << "2000-02-28T14:30:00.000-09:30";
        QTest::newRow("last millisecond of 9999")
            << qint64(253402300799999) << 0 << "9999-12-31T23:59:59.999Z";
        QTest::newRow("year 10000 has no text") << qint64(253402300800000) << 0 << "";
        QTest::newRow("back in 9999 at -01:00")
            << qint64(253402300800000) << -3600 << "9999-12-31T23:00:00.000-01:00";
        QTest::newRow("far past") << std::numeric_limits<qint64>::min() << -3600 << "";
    }
    void receivedIsTheLocalTimeWithMilliseconds()
    {
        QFETCH(qint64, ms);
        QFETCH(int, offset);
        QFETCH(QString, received);
        const AcceptedAnswer answer =
            acceptedFrom(recordFromHex(kStatusHex), AnswerRecord::kShortLength, 0, QString());
        AnswerMessage::Context c = context();
        c.receivedMs = ms;
        c.receivedOffset = offset;
        const QJsonObject o = QJsonDocument::fromJson(AnswerMessage::json(answer, c, 1)).object();
        QCOMPARE(o.value(QStringLiteral("received")).toString(), received);
    }

    // Each row its own minute: the offset of a minute is looked up once.
    void timeInOtherZones_data()
    {
        QTest::addColumn<QByteArray>("zone");
        QTest::addColumn<QString>("stamp"); // DDMMYYYYhhmmss
        QTest::addColumn<QString>("time");
        QTest::newRow("UTC") << QByteArray("UTC") << "15062024120000"
                             << "2024-06-15T12:00:00Z";
        QTest::newRow("half an hour west") << QByteArray("America/St_Johns") << "15012024120100"
                                           << "2024-01-15T12:01:00-03:30";
        QTest::newRow("half an hour east") << QByteArray("Asia/Kolkata") << "15062024120200"
                                           << "2024-06-15T12:02:00+05:30";
    }
    void timeInOtherZones()
    {
        QFETCH(QByteArray, zone);
        QFETCH(QString, stamp);
        QFETCH(QString, time);
        setZone(zone.constData());
        QCOMPARE(published(statusAnswerStamped(stamp), 1).value(QStringLiteral("time")).toString(),
                 time);
    }

    // Whatever the texts hold, the message parses and gives them back.
    void textsSurviveAsJson_data()
    {
        QTest::addColumn<QString>("statusText");
        QTest::addColumn<QString>("published");
        const QString controls = QStringLiteral("a\"b\\c\nd") + QChar(1) + QChar(0x1F);
        QTest::newRow("quote, backslash, controls") << controls << controls;
        QTest::newRow("beyond the BMP") << QStringLiteral("€ 😀") << QStringLiteral("€ 😀");
        // 200 two-byte letters are cut to 255 bytes: 127 letters and half of one.
        QTest::newRow("cut inside a letter")
            << QString(200, u'ж') << QString(127, u'ж') + QChar(QChar::ReplacementCharacter);
    }
    void textsSurviveAsJson()
    {
        QFETCH(QString, statusText);
        QFETCH(QString, published);
        // Name "\t\"Б\\" then a no-break space and spaces (code page 1251).
        AnswerRecord record = recordFromHex("FF340B02010432040A0C1A0922C15CA02020202020");
        const AcceptedAnswer answer =
            acceptedFrom(record, AnswerRecord::kShortLength, 0, statusText);
        QJsonParseError error;
        const QJsonObject o =
            QJsonDocument::fromJson(AnswerMessage::json(answer, context(), 1), &error).object();
        QCOMPARE(error.error, QJsonParseError::NoError);
        QCOMPARE(o.value(QStringLiteral("statusText")).toString(), published);
        QCOMPARE(o.value(QStringLiteral("name")).toString(), QStringLiteral("\"Б\\"));
    }

    void clearingIsAnEmptyMessageOnEachTopic()
    {
        const auto measurement = AnswerMessage::message(AnswerMessage::clearing(29, false), 7);
        const auto status = AnswerMessage::message(AnswerMessage::clearing(29, true), 8);
        QVERIFY(measurement && status);
        QCOMPARE(measurement->topic, QStringLiteral("channel/30"));
        QCOMPARE(status->topic, QStringLiteral("channel/30/status"));
        QVERIFY(measurement->payload.isEmpty() && status->payload.isEmpty());
        QVERIFY(!AnswerMessage::message(QByteArray("A\x01"), 1));
        QVERIFY(!AnswerMessage::message(QByteArray(40, 'A'), 1));
    }
};

QTEST_GUILESS_MAIN(TestAnswerMessage)
#include "tst_answermessage.moc"
