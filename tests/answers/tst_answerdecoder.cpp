#include "answers/acceptedanswer.h"
#include "answers/answerconsumer.h"
#include "answers/answerdecoder.h"
#include "answers/answerstatustext.h"
#include "fixedclock.h"
#include "model/stationstate.h"
#include "model/stationtexts.h"

#include <QLocale>
#include <QTest>

namespace {

// The records as the archive (stored) and the live service (relayed) take them.
struct Recorder : AnswerConsumer {
    QList<QByteArray> stored;
    QList<QByteArray> relayed;
    QList<AcceptedAnswer> answers;
    void beginTick() override {}
    void accept(const AcceptedAnswer& a) override
    {
        answers.append(a);
        const auto* bytes = reinterpret_cast<const char*>(a.record.bytes.data());
        if (a.archived())
            stored.append(QByteArray(bytes, AnswerRecord::kFullLength));
        relayed.append(QByteArray(bytes, a.length()));
    }
    void endTick() override {}
};

// An answer with its LRC, as the receiver hands it on.
QByteArray answer(QByteArray bytes, int length)
{
    bytes.resize(length - 1, '\0');
    quint8 sum = 0;
    for (char b : bytes)
        sum = quint8(sum + quint8(b));
    bytes.append(char(quint8(-sum)));
    return bytes;
}

QByteArray hex(const char* text)
{
    return QByteArray::fromHex(text);
}

struct Rig {
    StationState state;
    FixedClock clock{QDateTime(QDate(2024, 6, 15), QTime(14, 45, 30))};
    Recorder recorder;
    AnswerDecoder decoder{state, clock, recorder};

    Rig()
    {
        for (int k = 0; k < kChannelCount; ++k) {
            state.channels[k].blockAddress = 200;
            state.channels[k].terminal = Texts::notConnected;
        }
    }
    void channel(int k, quint8 address, quint8 number, const QString& terminal,
                 const QString& mode = Texts::modeOnRequest, const QString& name = QString())
    {
        state.channels[k] = {name, address, number, terminal, mode, 10};
    }
    void feed(int t, const QByteArray& bytes, bool compact = false)
    {
        if (compact)
            decoder.DecodeCompactAnswer(t, bytes);
        else
            decoder.DecodeAnswer(t, bytes);
    }
    QString cell(int k, int column) const { return state.queryList.text(k + 1, column); }
    CellColour colour(int k) const { return state.queryList.colour(k + 1, QueryColumn::Status); }
};

} // namespace

class TestAnswerDecoder : public QObject {
    Q_OBJECT
private slots:
    void statusAnswerEndToEnd()
    {
        Rig rig;
        rig.channel(0, 1, 3, QStringLiteral("Терминал1"));
        rig.state.poll.requested(0, 0);
        rig.state.countdownSeconds[0] = 2.5;
        rig.state.queryList.setText(1, QueryColumn::Waiting,
                                    QStringLiteral("Ожидание ответа 2 сек"));
        rig.feed(0, hex("013405020"
                        "31E2D0E0F06183B"));
        QCOMPARE(rig.cell(0, QueryColumn::Status),
                 QStringLiteral("Нет сигнала от датчика (адрес 5)"));
        QCOMPARE(rig.colour(0), CellColour::Red);
        QCOMPARE(rig.recorder.relayed.size(), 1);
        QCOMPARE(rig.recorder.relayed[0], hex("FF340502001E2D0E0F0618") + QByteArray(10, ' '));
        QVERIFY(rig.recorder.stored.isEmpty());
        QVERIFY(!rig.state.poll.isAwaiting(0));
        QVERIFY(!rig.state.poll.isPending(0));
        QCOMPARE(rig.cell(0, QueryColumn::Waiting), QString());
        QCOMPARE(rig.state.countdownSeconds[0], 10.0);
    }

    void statusCodes_data()
    {
        QTest::addColumn<quint8>("status");
        QTest::addColumn<quint8>("versionByte");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("colour");
        QTest::addColumn<QString>("version");
        const QString kept = QStringLiteral("kept");
        QTest::newRow("code 1") << quint8(0x01) << quint8(0)
                                << QStringLiteral("ПДЛ ожидает ответа от датчика")
                                << int(CellColour::Blue) << kept;
        QTest::newRow("code 2, sensor 7")
            << quint8(0x02) << quint8(0) << QStringLiteral("Нет сигнала от датчика (адрес 7)")
            << int(CellColour::Red) << kept;
        QTest::newRow("status byte 0x13, version 2")
            << quint8(0x13) << quint8(2) << QStringLiteral("Нет тарировочной таблицы")
            << int(CellColour::Red) << QStringLiteral("RLX.042.307.DTC.002");
        QTest::newRow("code 3, version 12")
            << quint8(0x03) << quint8(12) << QStringLiteral("Нет тарировочной таблицы")
            << int(CellColour::Red) << kept;
        QTest::newRow("code 4") << quint8(0x04) << quint8(0)
                                << QStringLiteral("ПДЛ не опрашивает этот канал")
                                << int(CellColour::Blue) << QStringLiteral("???");
        QTest::newRow("code 5") << quint8(0x05) << quint8(0)
                                << QStringLiteral("Недопустимый номер канала (0..7)")
                                << int(CellColour::Red) << QStringLiteral("???");
        QTest::newRow("code 9") << quint8(0x09) << quint8(0) << QStringLiteral("Получены данные")
                                << int(CellColour::Green) << kept;
        QTest::newRow("12 bytes, code 0: no measurement")
            << quint8(0x00) << quint8(4) << QStringLiteral("Получены данные")
            << int(CellColour::Green) << kept;
    }
    void statusCodes()
    {
        QFETCH(quint8, status);
        QFETCH(quint8, versionByte);
        QFETCH(QString, text);
        QFETCH(int, colour);
        QFETCH(QString, version);
        QCOMPARE(answerStatusText(status, 7), text); // what the live client shows
        Rig rig;
        rig.channel(2, 9, 1, QStringLiteral("Терминал2"));
        rig.state.queryList.setText(3, QueryColumn::Version, QStringLiteral("kept"));
        QByteArray bytes;
        bytes.append(char(9))
            .append(char(0x34))
            .append(char(7))
            .append(char(status))
            .append(char(1));
        bytes.append(char(0)).append(char(versionByte));
        rig.feed(1, answer(bytes, 12));
        QCOMPARE(rig.cell(2, QueryColumn::Status), text);
        QCOMPARE(int(rig.colour(2)), colour);
        QCOMPARE(rig.cell(2, QueryColumn::Version), version);
        QCOMPARE(rig.recorder.relayed.size(), 1);
        QCOMPARE(rig.recorder.relayed[0].size(), 21);
        QCOMPARE(quint8(rig.recorder.relayed[0][3]), status);
        QVERIFY(rig.recorder.stored.isEmpty());
    }

    void measurement_data()
    {
        QTest::addColumn<int>("length");
        QTest::addColumn<QByteArray>("stamp");
        QTest::addColumn<QByteArray>("time");
        const QByteArray clock = hex("1E2D0E0F0618"); // 14:45:30 15.06.2024
        QTest::newRow("69 bytes, 23:59:59 31.12.2099")
            << 69 << hex("3B3B171F0C63") << hex("3B3B171F0C63");
        QTest::newRow("69 bytes, second 60") << 69 << hex("3C3B171F0C63") << clock;
        QTest::newRow("69 bytes, all zero") << 69 << hex("000000000000") << clock;
        QTest::newRow("69 bytes, month 13") << 69 << hex("000000010D10") << clock;
        QTest::newRow("63 bytes") << 63 << QByteArray() << clock;
    }
    void measurement()
    {
        QFETCH(int, length);
        QFETCH(QByteArray, stamp);
        QFETCH(QByteArray, time);
        Rig rig;
        rig.channel(4, 1, 0, QStringLiteral("Терминал5"), Texts::modeOnRequest,
                    QStringLiteral("Резервуар12"));
        rig.state.poll.requested(4, -1);
        rig.state.poll.requested(1, -1);
        QByteArray bytes = hex("01340A0000") + QByteArray(1, '\x55') + QByteArray(1, char(0x1C));
        for (int i = 7; i < 57; ++i)
            bytes.append(char(i));
        bytes += stamp;
        // Answer on terminal 2 for a row on terminal 5.
        rig.feed(1, answer(bytes, length));
        QCOMPARE(rig.recorder.stored.size(), 1);
        QCOMPARE(rig.recorder.relayed.size(), 1);
        const QByteArray record = rig.recorder.relayed[0];
        QCOMPARE(record.size(), 78);
        QCOMPARE(record, rig.recorder.stored[0]);
        QCOMPARE(quint8(record[0]), quint8(0xFF));
        QCOMPARE(quint8(record[4]), quint8(4));
        QCOMPARE(record.mid(5, 57), answer(bytes, length).mid(5, 57));
        QCOMPARE(record.mid(62, 6), time);
        QCOMPARE(record.mid(68, 10), QByteArray("\xD0\xE5\xE7\xE5\xF0\xE2\xF3\xE0\xF0\x31"));
        QCOMPARE(rig.cell(4, QueryColumn::Version), QStringLiteral("RLX.042.307.DTC.0012"));
        QVERIFY(!rig.state.poll.isPending(4));
        QVERIFY2(rig.state.poll.isPending(1), "the arriving terminal plays no part");
    }

    // The value every consumer takes: decoded once, with what the grid shows.
    void acceptedAnswerCarriesTheDecodedValue()
    {
        Rig rig;
        rig.channel(4, 1, 0, QStringLiteral("Терминал5"), Texts::modeOnRequest,
                    QStringLiteral("Tank"));
        rig.channel(6, 3, 2, QStringLiteral("Терминал1"));
        QByteArray bytes = hex("01340A0000") + QByteArray(52, '\0') + hex("03050716090F");
        bytes[8] = char(0x38), bytes[9] = char(0xDD);   // S1 14557 tenths
        bytes[32] = char(0xFF), bytes[33] = char(0xFB); // T1 -5 tenths
        rig.feed(1, answer(bytes, 69));
        rig.feed(2, answer(hex("013405020001"), 12));
        rig.feed(0, answer(hex("03340200"), 58), true);
        QCOMPARE(rig.recorder.answers.size(), 3);

        const AcceptedAnswer& m = rig.recorder.answers[0];
        QCOMPARE(m.row, 4);
        QCOMPARE(m.terminal, 4); // the channel's terminal, not the one it came in on
        QCOMPARE(m.kind, AcceptedAnswer::Kind::Measurement);
        QVERIFY(m.archived());
        QCOMPARE(m.statusText, Texts::dataReceived);
        QCOMPARE(m.time, (AcceptedAnswer::Time{3, 5, 7, 22, 9, 15}));
        QVERIFY(m.measurement.has_value());
        const QString point = QLocale::system().decimalPoint();
        QCOMPARE(m.measurement->columns[0], QStringLiteral("Tank      "));
        QCOMPARE(m.measurement->columns[3], u"1455" + point + u"7");
        QCOMPARE(m.measurement->numbers[3], 1455.7);
        QCOMPARE(m.measurement->columns[15], u"-0" + point + u"5");
        QCOMPARE(m.measurement->numbers[15], -0.5);
        QCOMPARE(m.measurement->stamp(), QStringLiteral("22092015070503"));

        const AcceptedAnswer& s = rig.recorder.answers[1];
        QCOMPARE(s.kind, AcceptedAnswer::Kind::Status);
        QCOMPARE(s.status, quint8(0x02));
        QCOMPARE(s.statusText, QStringLiteral("Нет сигнала от датчика (адрес 5)"));
        QCOMPARE(s.statusText, rig.cell(4, QueryColumn::Status));
        QVERIFY(!s.measurement.has_value());

        const AcceptedAnswer& c = rig.recorder.answers[2];
        QCOMPARE(c.row, 6);
        QCOMPARE(c.format, AcceptedAnswer::Format::Compact);
        QCOMPARE(c.kind, AcceptedAnswer::Kind::Measurement);
        QVERIFY2(!c.archived(), "compact answers never reach the archive");
        QVERIFY(c.measurement.has_value());
        QCOMPARE(c.measurement->numbers[3], 0.0);
    }

    void channelSearch()
    {
        Rig rig;
        rig.channel(3, 1, 0, Texts::notConnected);
        rig.channel(8, 1, 0, QStringLiteral("Терминал1"));
        const QByteArray status = answer(hex("0134000100"), 8);
        rig.feed(0, status);
        QVERIFY2(rig.recorder.relayed.isEmpty(), "the lower row is not connected: dropped");
        QCOMPARE(rig.cell(8, QueryColumn::Status), QString());

        rig.channel(3, 1, 0, QStringLiteral("Терминал11"));
        rig.feed(0, status);
        QVERIFY(rig.recorder.relayed.isEmpty());

        rig.channel(3, 1, 0, QStringLiteral("Терминал1"));
        rig.feed(0, status);
        QCOMPARE(rig.recorder.relayed.size(), 1);
        QCOMPARE(rig.cell(3, QueryColumn::Status), QStringLiteral("ПДЛ ожидает ответа от датчика"));
        QCOMPARE(rig.cell(8, QueryColumn::Status), QString());

        // Fewer than 6 bytes carry no channel byte; a wrong code changes nothing.
        rig.feed(0, answer(hex("013400"), 5));
        rig.feed(0, answer(hex("0133000100"), 8));
        QCOMPARE(rig.recorder.relayed.size(), 1);
    }

    void activeChannelKeepsItsSupervision()
    {
        Rig rig;
        rig.channel(0, 2, 1, QStringLiteral("Терминал1"), Texts::modeActive);
        rig.state.poll.requested(0, 0);
        rig.state.countdownSeconds[0] = 0.3;
        rig.state.queryList.setText(1, QueryColumn::Waiting,
                                    QStringLiteral("Ожидание ответа 0 сек"));
        rig.feed(0, answer(hex("0234000101"), 12));
        QVERIFY(rig.state.poll.isAwaiting(0));
        QVERIFY(rig.state.poll.isPending(0));
        QCOMPARE(rig.cell(0, QueryColumn::Waiting), QStringLiteral("Ожидание ответа 0 сек"));
        QCOMPARE(rig.state.countdownSeconds[0], 10.0);
    }

    void names_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("padded");
        QTest::newRow("12 characters")
            << QStringLiteral("ABCDEFGHIJKL") << QByteArray("ABCDEFGHIJ");
        QTest::newRow("2 characters") << QStringLiteral("Ю1") << QByteArray("\xDE\x31        ");
        QTest::newRow("empty") << QString() << QByteArray(10, ' ');
    }
    void names()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, padded);
        Rig rig;
        rig.channel(0, 1, 0, QStringLiteral("Терминал1"), Texts::modeOnRequest, name);
        rig.feed(0, answer(hex("0134000100"), 8));
        QCOMPARE(rig.recorder.relayed.value(0).mid(11, 10), padded);
    }

    void compactTemperatures()
    {
        Rig rig;
        rig.channel(6, 3, 2, QStringLiteral("Терминал1"));
        QByteArray bytes = hex("033402000017");
        for (int i = 6; i < 29; ++i)
            bytes.append(char(i));
        bytes += hex("91015EFF5005000800"
                     "00");
        for (int i = 39; i < 57; ++i)
            bytes.append(char(i));
        rig.feed(0, answer(bytes, 58), true);
        QCOMPARE(rig.recorder.relayed.size(), 1);
        QVERIFY(rig.recorder.stored.isEmpty());
        const QByteArray r = rig.recorder.relayed[0];
        QCOMPARE(r.size(), 78);
        QCOMPARE(r.mid(0, 5), hex("FF34020006"));
        QCOMPARE(quint8(r[5]), quint8(0x77));
        QCOMPARE(quint8(r[6]), quint8(0x01));
        QCOMPARE(r.mid(7, 7), bytes.mid(6, 7));
        QCOMPARE(r.mid(14, 2), bytes.mid(55, 2));
        QCOMPARE(r.mid(16, 16), bytes.mid(13, 16));
        QCOMPARE(r.mid(32, 10), hex("00FAFF9C0352FB000000"));
        QCOMPARE(r.mid(42, 4), hex("00000000"));
        QCOMPARE(r.mid(46, 16), bytes.mid(39, 16));
        QCOMPARE(r.mid(62, 6), hex("1E2D0E0F0618"));
        QCOMPARE(rig.cell(6, QueryColumn::Version), QStringLiteral("RLX.042.307.DTC.001"));
        QCOMPARE(rig.cell(6, QueryColumn::Status), QStringLiteral("Получены данные"));
    }

    void compactStatus_data()
    {
        QTest::addColumn<quint8>("status");
        QTest::addColumn<QString>("text");
        QTest::newRow("1") << quint8(1) << QStringLiteral("ПДЛ ожидает ответа от датчика");
        QTest::newRow("2") << quint8(2) << QStringLiteral("Нет сигнала от датчика (адрес 2)");
        QTest::newRow("0x13") << quint8(0x13) << QStringLiteral("Получены данные");
    }
    void compactStatus()
    {
        QFETCH(quint8, status);
        QFETCH(QString, text);
        Rig rig;
        rig.channel(6, 3, 2, QStringLiteral("Терминал1"));
        QByteArray bytes = hex("033402");
        bytes.append(char(status));
        QByteArray stamped = bytes;
        stamped.resize(57, '\0');
        stamped += hex("010203040506");
        rig.feed(0, answer(stamped, 64), true);
        QCOMPARE(rig.cell(6, QueryColumn::Status), text);
        QCOMPARE(rig.recorder.relayed.value(0).size(), 21);
        QCOMPARE(rig.recorder.relayed.value(0).mid(5, 6), hex("010203040506"));
    }

    // No record carries bytes of an earlier answer.
    void recordIsClearedForEveryAnswer()
    {
        Rig rig;
        rig.channel(0, 1, 0, QStringLiteral("Терминал1"));
        rig.feed(0,
                 answer(QByteArray(5, '\x01').replace(0, 2, hex("0134")).replace(4, 1, hex("00")) +
                            QByteArray(60, '\x77'),
                        69));
        rig.feed(0, answer(hex("0134000000"), 6));
        QCOMPARE(rig.recorder.relayed.size(), 2);
        QCOMPARE(rig.recorder.relayed[1].mid(21), QByteArray());
        QCOMPARE(
            QByteArray(reinterpret_cast<const char*>(rig.decoder.record().bytes.data()) + 21, 58),
            QByteArray(58, '\0'));
    }
};

QTEST_GUILESS_MAIN(TestAnswerDecoder)
#include "tst_answerdecoder.moc"
