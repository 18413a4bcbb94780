#include "answers/answerrecord.h"
#include "answers/measurementrecord.h"
#include "answers/numberformat.h"

#include <QTest>

namespace {
// Column index (0-based) by title.
int column(const char16_t* title)
{
    return int(MeasurementRecord::columnTitles().indexOf(QString::fromUtf16(title)));
}
} // namespace

class TestMeasurementRecord : public QObject {
    Q_OBJECT
private slots:
    void numberFormat_data()
    {
        QTest::addColumn<qint64>("raw");
        QTest::addColumn<int>("decimals");
        QTest::addColumn<int>("precision");
        QTest::addColumn<QString>("text");
        QTest::newRow("level S1 max") << qint64(65535) << 1 << 5 << QStringLiteral("6553,5");
        QTest::newRow("level S2 max") << qint64(65535) << 2 << 5 << QStringLiteral("655,35");
        QTest::newRow("T1 most negative") << qint64(-32768) << 1 << 5 << QStringLiteral("-3276,8");
        QTest::newRow("T1 -0,5") << qint64(-5) << 1 << 5 << QStringLiteral("-0,5");
        QTest::newRow("volume 7 digits")
            << qint64(16777215) << 3 << 7 << QStringLiteral("16777,22");
        QTest::newRow("permittivity 4 digits")
            << qint64(12345) << 3 << 4 << QStringLiteral("12,35");
        QTest::newRow("total mass max")
            << qint64(16777215 + 65535) << 3 << 7 << QStringLiteral("16842,75");
        QTest::newRow("1000 x 0.001") << qint64(1000) << 3 << 7 << QStringLiteral("1");
        QTest::newRow("1230 x 0.01") << qint64(1230) << 2 << 5 << QStringLiteral("12,3");
        QTest::newRow("zero") << qint64(0) << 1 << 5 << QStringLiteral("0");
        QTest::newRow("3 x 0.1") << qint64(3) << 1 << 5 << QStringLiteral("0,3");
        QTest::newRow("small fraction") << qint64(7) << 3 << 5 << QStringLiteral("0,007");
        QTest::newRow("rounds up to a whole") << qint64(99995) << 3 << 4 << QStringLiteral("100");
        QTest::newRow("negative half away from zero")
            << qint64(-12345) << 3 << 4 << QStringLiteral("-12,35");
        QTest::newRow("a million, whole") << qint64(1000000) << 0 << 0 << QStringLiteral("1000000");
    }
    void numberFormat()
    {
        QFETCH(qint64, raw);
        QFETCH(int, decimals);
        QFETCH(int, precision);
        QFETCH(QString, text);
        QCOMPARE(formatScaled(raw, decimals, precision, QStringLiteral(",")), text);
        QCOMPARE(formatScaled(raw, decimals, precision, QStringLiteral(".")),
                 QString(text).replace(u',', u'.'));
        char bytes[kScaledTextCapacity];
        const int length = writeScaled(bytes, raw, decimals, precision);
        QCOMPARE(QByteArray(bytes, length), QString(text).replace(u',', u'.').toLatin1());
    }

    void columnsFromRecordBytes()
    {
        AnswerRecord r;
        r[2] = 17;
        r[4] = 2;
        r[8] = 0xFF, r[9] = 0xFF;                 // S1 6553,5
        r[10] = 0xFF, r[11] = 0xFF;               // S2 655,35
        r[16] = 0xFF, r[17] = 0xFF, r[18] = 0xFF; // V 16777,22
        r[19] = 0x00, r[20] = 0x03, r[21] = 0xE8; // liquid mass 1
        r[22] = 0x01, r[23] = 0xF4;               // vapour mass 0,5
        r[28] = 0x30, r[29] = 0x39;               // E 12,35
        r[32] = 0x80, r[33] = 0x00;               // T1 -3276,8
        r[34] = 0xFF, r[35] = 0xFB;               // T2 -0,5
        r[48] = 0x01, r[49] = 0x00, r[50] = 0x02; // period 2
        r[51] = 200;                              // period 3
        r[52] = 0x04, r[53] = 0xD2;               // СS1 12,34
        r[60] = 0x12, r[61] = 0x34;               // АЦП 4660
        r[62] = 3, r[63] = 5, r[64] = 7, r[65] = 22, r[66] = 9, r[67] = 15;
        const char name[] = "Abc       ";
        for (int i = 0; i < 10; ++i)
            r[68 + i] = quint8(name[i]);

        const MeasurementRecord m = MeasurementRecord::fromAnswer(r, QStringLiteral(","));
        QCOMPARE(m.columns[0], QStringLiteral("Abc       "));
        QCOMPARE(m.columns[1], QStringLiteral("07:05:03"));
        QCOMPARE(m.columns[2], QStringLiteral("17"));
        QCOMPARE(m.columns[size_t(column(u"Уровень S1, мм"))], QStringLiteral("6553,5"));
        QCOMPARE(m.columns[size_t(column(u"Уровень S2, мм"))], QStringLiteral("655,35"));
        QCOMPARE(m.columns[size_t(column(u"Уровень S3, мм"))], QStringLiteral("0"));
        QCOMPARE(m.columns[size_t(column(u"V жидк, м3"))], QStringLiteral("16777,22"));
        QCOMPARE(m.columns[size_t(column(u"Общая масса, т"))], QStringLiteral("1,5"));
        QCOMPARE(m.columns[size_t(column(u"Масса жидк, т"))], QStringLiteral("1"));
        QCOMPARE(m.columns[size_t(column(u"Масса пара, т"))], QStringLiteral("0,5"));
        QCOMPARE(m.columns[size_t(column(u"E жидк"))], QStringLiteral("12,35"));
        QCOMPARE(m.columns[size_t(column(u"T1"))], QStringLiteral("-3276,8"));
        QCOMPARE(m.columns[size_t(column(u"T2"))], QStringLiteral("-0,5"));
        QCOMPARE(m.columns[size_t(column(u"период 2"))], QStringLiteral("65538"));
        QCOMPARE(m.columns[size_t(column(u"период 3"))], QStringLiteral("200"));
        QCOMPARE(m.columns[size_t(column(u"СS1, пФ"))], QStringLiteral("12,34"));
        QCOMPARE(m.columns[size_t(column(u"АЦП"))], QStringLiteral("4660"));
        QCOMPARE(m.stamp(), QStringLiteral("22092015070503"));
        QCOMPARE(m.row, 2);
        QCOMPARE(m.year, 2015u);
    }

    // Every field non-zero and different from the others, so a swapped offset
    // or a wrong scale shows; the texts were worked out by hand.
    void allTwentyNineColumnsWorkedByHand()
    {
        const QByteArray bytes = QByteArray::fromHex(
            "FF34"                   // 0..1
            "2A00"                   // 2 sensor address 42, 3 status
            "1D"                     // 4 row index 29
            "000000"                 // 5..7
            "04D3"                   // 8 S1 1235 x 0.1
            "0929"                   // 10 S2 2345 x 0.01
            "0D80"                   // 12 S3 3456 x 0.01
            "01C8"                   // 14 V % 456 x 0.1
            "01E240"                 // 16 V m3 123456 x 0.001
            "00D431"                 // 19 liquid mass 54321 x 0.001
            "0315"                   // 22 vapour mass 789 x 0.001
            "1E61"                   // 24 liquid density 7777 x 0.1
            "0058"                   // 26 vapour density 88 x 0.1
            "0802"                   // 28 E liquid 2050 x 0.001
            "03F9"                   // 30 E vapour 1017 x 0.001
            "00FB"                   // 32 T1 251
            "FF38"                   // 34 T2 -200
            "0007"                   // 36 T3 7
            "FFF1"                   // 38 T4 -15
            "0190"                   // 40 T5 400
            "0C35"                   // 42 T6 3125
            "FC18"                   // 44 TD -1000
            "3039"                   // 46 period 1 12345
            "0F4240"                 // 48 period 2 1000000
            "63"                     // 51 period 3 99
            "1A0A"                   // 52 CS1 6666 x 0.01
            "0237"                   // 54 CS2 567 x 0.1
            "0D05"                   // 56 CS3 3333 x 0.1
            "0000"                   // 58..59
            "ABCD"                   // 60 ADC 43981
            "3A2F0D1C0B18"           // 62 second 58, minute 47, hour 13, day 28, month 11, year 24
            "C1E0EA2D372020202020"); // 68 name "Бак-7" in code page 1251, padded
        QCOMPARE(bytes.size(), AnswerRecord::kFullLength);
        AnswerRecord r;
        for (int i = 0; i < bytes.size(); ++i)
            r[i] = quint8(bytes[i]);

        const MeasurementRecord m = MeasurementRecord::fromAnswer(r, QStringLiteral(","));
        const QStringList expected{
            QStringLiteral("Бак-7     "), QStringLiteral("13:47:58"), QStringLiteral("42"),
            QStringLiteral("123,5"),      QStringLiteral("23,45"),    QStringLiteral("34,56"),
            QStringLiteral("45,6"),       QStringLiteral("123,456"),  QStringLiteral("55,11"),
            QStringLiteral("54,321"),     QStringLiteral("0,789"),    QStringLiteral("777,7"),
            QStringLiteral("8,8"),        QStringLiteral("2,05"),     QStringLiteral("1,017"),
            QStringLiteral("25,1"),       QStringLiteral("-20"),      QStringLiteral("0,7"),
            QStringLiteral("-1,5"),       QStringLiteral("40"),       QStringLiteral("312,5"),
            QStringLiteral("-100"),       QStringLiteral("12345"),    QStringLiteral("1000000"),
            QStringLiteral("99"),         QStringLiteral("66,66"),    QStringLiteral("56,7"),
            QStringLiteral("333,3"),      QStringLiteral("43981")};
        QCOMPARE(int(m.columns.size()), expected.size());
        for (int i = 0; i < expected.size(); ++i)
            QVERIFY2(m.columns[size_t(i)] == expected[i],
                     qPrintable(QStringLiteral("column %1: %2, expected %3")
                                    .arg(i + 1)
                                    .arg(m.columns[size_t(i)], expected[i])));
        // The same texts as bytes with a point, all but the name.
        const MeasurementRecord::ColumnBytes texts = MeasurementRecord::columnBytes(r);
        QVERIFY(texts[0].isEmpty());
        for (int i = 1; i < expected.size(); ++i)
            QCOMPARE(texts[i].toByteArray(), QString(expected[i]).replace(u',', u'.').toLatin1());
        QCOMPARE(m.stamp(), QStringLiteral("28112024134758"));
        QCOMPARE(m.row, 29);
        QCOMPARE(m.day, 28u);
        QCOMPARE(m.month, 11u);
        QCOMPARE(m.year, 2024u);
    }

    void nameStopsAtTheFirstZeroByte()
    {
        AnswerRecord r;
        r[68] = 'A';
        r[69] = 0xC0; // А in code page 1251
        const MeasurementRecord m = MeasurementRecord::fromAnswer(r, QStringLiteral(","));
        QCOMPARE(m.columns[0], QStringLiteral("AА"));
        QCOMPARE(m.columns[1], QStringLiteral("00:00:00"));
    }

    void titlesCarryTheirExactBytes()
    {
        const QStringList& titles = MeasurementRecord::columnTitles();
        QCOMPARE(titles.size(), 29);
        QCOMPARE(titles[3].at(8), QChar(u'S'));
        QCOMPARE(titles[21], QStringLiteral("\u0422\u0414"));
        QCOMPARE(titles[25].at(0), QChar(u'\u0421'));
        QCOMPARE(titles[25].at(1), QChar(u'S'));
    }
};

QTEST_GUILESS_MAIN(TestMeasurementRecord)
#include "tst_measurementrecord.moc"
