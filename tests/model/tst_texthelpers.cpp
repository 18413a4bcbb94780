#include "model/codepage1251.h"
#include "model/integertext.h"
#include "model/terminalname.h"

#include <QStringDecoder>
#include <QStringEncoder>
#include <QTest>

class TestTextHelpers : public QObject {
    Q_OBJECT
private slots:
    void terminalNumber_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("index");
        QTest::newRow("Терминал1") << QStringLiteral("Терминал1") << 0;
        QTest::newRow("Терминал3") << QStringLiteral("Терминал3") << 2;
        QTest::newRow("Терминал10") << QStringLiteral("Терминал10") << 9;
        QTest::newRow("space before the number") << QStringLiteral("Терминал 3") << -1;
        QTest::newRow("Терминал11") << QStringLiteral("Терминал11") << -1;
        QTest::newRow("Терминал0") << QStringLiteral("Терминал0") << -1;
        QTest::newRow("leading zero") << QStringLiteral("Терминал03") << -1;
        QTest::newRow("Не подключен") << QStringLiteral("Не подключен") << -1;
        QTest::newRow("Not connected") << QStringLiteral("Not connected") << -1;
        QTest::newRow("empty") << QString() << -1;
    }
    void terminalNumber()
    {
        QFETCH(QString, text);
        QFETCH(int, index);
        QCOMPARE(terminalIndex(text), index);
        if (index >= 0)
            QCOMPARE(terminalText(index), text);
    }

    void integers_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<int>("value");
        QTest::newRow("300") << QStringLiteral("300") << true << 300;
        QTest::newRow("leading zero") << QStringLiteral("05000") << true << 5000;
        QTest::newRow("negative") << QStringLiteral("-5") << true << -5;
        QTest::newRow("empty") << QString() << false << 0;
        QTest::newRow("letters") << QStringLiteral("12a") << false << 0;
        QTest::newRow("beyond 32 bits") << QStringLiteral("99999999999") << false << 0;
        QTest::newRow("sign only") << QStringLiteral("-") << false << 0;
    }
    void integers()
    {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        QFETCH(int, value);
        const auto parsed = parseInteger(text);
        QCOMPARE(parsed.has_value(), valid);
        if (valid)
            QCOMPARE(*parsed, value);
    }

    void codePageMatchesIcuBothWays()
    {
        QStringDecoder decoder("windows-1251");
        if (!decoder.isValid())
            QSKIP("this Qt has no windows-1251 codec");
        QByteArray all;
        for (int b = 0; b < 256; ++b)
            if (b != 0x98)
                all.append(char(b));
        const QString icu = decoder(all);
        QCOMPARE(fromCp1251(all), icu);
        QCOMPARE(toCp1251(icu), all);
        QCOMPARE(toCp1251(QStringLiteral("СS1, пФ")), QByteArray("\xD1S1, \xEF\xD4"));

        // Straight to UTF-8: one, two and three bytes a character.
        char utf8[3 * 256];
        QCOMPARE(QByteArray(utf8, writeUtf8FromCp1251(all, utf8)), icu.toUtf8());
        QCOMPARE(QByteArray(utf8, writeUtf8FromCp1251("\xD1S1 \x88\xB9", utf8)),
                 QByteArray("\xD0\xA1S1 \xE2\x82\xAC\xE2\x84\x96"));
    }
};

QTEST_GUILESS_MAIN(TestTextHelpers)
#include "tst_texthelpers.moc"
