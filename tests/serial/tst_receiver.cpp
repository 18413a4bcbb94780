#include "serial/answerhandler.h"
#include "serial/frameassembler.h"
#include "serial/hexframe.h"
#include "serial/linemonitor.h"
#include "serial/monitorblock.h"
#include "serial/receiver.h"
#include "serialrig.h"

#include <QDeadlineTimer>
#include <QRegularExpression>
#include <QTest>
#include <unistd.h>

namespace {
// What the decoder was handed: which operation, terminal, n, and the bytes as
// the frame's buffer holds them (n bytes followed by CR LF).
struct Handed {
    QString operation;
    int t = 0;
    int n = 0;
    QByteArray bytes;
    bool operator==(const Handed&) const = default;
};

class RecordingHandler : public AnswerHandler {
public:
    void beginTick() override {}
    void endTick() override {}
    void DecodeAnswer(int t, QByteArrayView answer) override
    {
        record(QStringLiteral("DecodeAnswer"), t, answer);
    }
    void DecodeCompactAnswer(int t, QByteArrayView answer) override
    {
        record(QStringLiteral("DecodeCompactAnswer"), t, answer);
    }
    QList<Handed> handed;

private:
    void record(const QString& operation, int t, QByteArrayView answer)
    {
        // The CR LF DecodeFrame writes behind the bytes, inside the assembler's buffer.
        const int n = int(answer.size());
        handed.append({operation, t, n, QByteArray(answer.data(), n + 2)});
    }
};

// A good answer of n bytes: address 1, code 0x34, payload 0, 1, 2, ..., LRC.
QByteArray answerBytes(int n, quint8 code = HexFrame::kRequestCode)
{
    QByteArray bytes;
    bytes.append(char(0x01));
    bytes.append(char(code));
    for (int i = 2; i < n - 1; ++i)
        bytes.append(char(i - 2));
    bytes.append(char(HexFrame::lrc(bytes)));
    return bytes;
}
QByteArray answerFrame(int n, quint8 code = HexFrame::kRequestCode)
{
    return HexFrame::encode(answerBytes(n, code));
}
QByteArray withCrLf(const QByteArray& bytes)
{
    return bytes + QByteArrayLiteral("\r\n");
}

// Writes bytes on the far end of terminal 0 as fast as the station's event loop
// takes them, until the port has seen them all (held or dropped).
bool flood(SerialRig& rig, const QByteArray& bytes)
{
    const auto seen = [&] { return rig.port(0)->bytesAvailable() + rig.access.droppedBytes(0); };
    const qint64 expected = seen() + bytes.size();
    const int fd = rig.pty(0).masterFd();
    qsizetype done = 0;
    QDeadlineTimer deadline(10000);
    while (!deadline.hasExpired()) {
        if (done < bytes.size()) {
            const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
            if (n > 0)
                done += n;
        }
        QCoreApplication::processEvents();
        if (done == bytes.size() && seen() >= expected)
            return true;
    }
    return false;
}
} // namespace

class TestReceiver : public QObject {
    Q_OBJECT
private:
    struct Line : SerialRig {
        LineMonitor monitor;
        RecordingHandler decoder;
        Receiver receiver{state, access, blinker, monitor, decoder};
        Line() { attach(0); }
    };

private slots:
    void framing_data()
    {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QList<Handed>>("handed");
        QTest::addColumn<int>("iconState");

        const QByteArray good12 = answerFrame(12);
        const QByteArray bytes12 = withCrLf(answerBytes(12));
        const Handed answer12{QStringLiteral("DecodeAnswer"), 0, 12, bytes12};

        QTest::newRow("good 12-byte answer") << good12 << QList<Handed>{answer12} << 1;
        QTest::newRow("two frames in one tick, in order")
            << good12 + answerFrame(3)
            << QList<Handed>{answer12,
                             {QStringLiteral("DecodeAnswer"), 0, 3, withCrLf(answerBytes(3))}}
            << 1;
        QTest::newRow("bytes before the colon are ignored")
            << QByteArrayLiteral("noise\r\n0134") + good12 << QList<Handed>{answer12} << 1;
        QTest::newRow("a colon restarts the frame")
            << QByteArrayLiteral(":013") + good12 << QList<Handed>{answer12} << 1;
        QTest::newRow("empty frame passes and is not handed on")
            << QByteArrayLiteral(":\r\n") << QList<Handed>{} << 1;
        QTest::newRow("good 14-byte frame is not handed on")
            << answerFrame(14) << QList<Handed>{} << 1;
        QTest::newRow("good frame with another code is not handed on")
            << answerFrame(12, 0x35) << QList<Handed>{} << 1;
        QTest::newRow("lowercase digits fail the check")
            << QByteArrayLiteral(":0134000a0b0c0d0e0f1011f8\r\n") << QList<Handed>{} << 2;
        QTest::newRow("a lost character fails the check")
            << QByteArrayLiteral(":013400CB\r\n").remove(3, 1) << QList<Handed>{} << 2;
        QTest::newRow("lone LF and CR are frame characters, no end")
            << QByteArrayLiteral(":01\n\r") + good12 << QList<Handed>{answer12} << 1;
        QTest::newRow("2-byte answer with code 0x34")
            << QByteArrayLiteral(":CC34\r\n")
            << QList<Handed>{{QStringLiteral("DecodeAnswer"), 0, 2,
                              QByteArray::fromHex("CC340D0A")}}
            << 1;
        QTest::newRow("63-byte measurement")
            << answerFrame(63)
            << QList<Handed>{{QStringLiteral("DecodeAnswer"), 0, 63, withCrLf(answerBytes(63))}}
            << 1;
        QTest::newRow("69-byte measurement")
            << answerFrame(69)
            << QList<Handed>{{QStringLiteral("DecodeAnswer"), 0, 69, withCrLf(answerBytes(69))}}
            << 1;
        QTest::newRow("58-byte compact answer")
            << answerFrame(58)
            << QList<Handed>{{QStringLiteral("DecodeCompactAnswer"), 0, 58,
                              withCrLf(answerBytes(58))}}
            << 1;
        QTest::newRow("64-byte compact answer")
            << answerFrame(64)
            << QList<Handed>{{QStringLiteral("DecodeCompactAnswer"), 0, 64,
                              withCrLf(answerBytes(64))}}
            << 1;
        for (int n : {13, 57, 59, 62, 65, 68, 70})
            QTest::addRow("%d-byte answer is not handed on", n)
                << answerFrame(n) << QList<Handed>{} << 1;
    }
    void framing()
    {
        QFETCH(QByteArray, input);
        QFETCH(QList<Handed>, handed);
        QFETCH(int, iconState);
        Line line;
        QVERIFY(line.deliver(0, input));
        line.receiver.RSTimerTimer();
        QCOMPARE(line.decoder.handed, handed);
        QCOMPARE(line.state.iconState, iconState);
        QVERIFY(line.timerBlink.isActive());
        // Nothing is left half-framed.
        QVERIFY(!line.receiver.assembler(0).inFrame());
        QCOMPARE(line.receiver.assembler(0).writeIndex(), 0);
    }

    void frameOverTwoTicksSurvivesReopen()
    {
        Line line;
        const QByteArray frame = answerFrame(12);
        QVERIFY(line.deliver(0, frame.left(10)));
        line.receiver.RSTimerTimer();
        QVERIFY(line.decoder.handed.isEmpty());
        QVERIFY(line.receiver.assembler(0).inFrame());
        QCOMPARE(line.state.iconState, 0);
        // A poll re-opens the port between the ticks; the half frame goes on.
        QVERIFY(line.access.OpenTerminal(0, QStringLiteral("9600")));
        QVERIFY(line.deliver(0, frame.mid(10)));
        line.receiver.RSTimerTimer();
        QCOMPARE(line.decoder.handed.size(), 1);
        QCOMPARE(line.decoder.handed[0].n, 12);
        QCOMPARE(line.decoder.handed[0].bytes, withCrLf(answerBytes(12)));
    }

    void everyTerminalIsDrained()
    {
        Line line;
        line.attach(9);
        QVERIFY(line.deliver(9, answerFrame(5)));
        QVERIFY(line.deliver(0, answerFrame(4)));
        line.receiver.RSTimerTimer();
        QCOMPARE(line.decoder.handed.size(), 2);
        QCOMPARE(line.decoder.handed[0].t, 0);
        QCOMPARE(line.decoder.handed[1].t, 9);
        QCOMPARE(line.decoder.handed[1].n, 5);
    }

    // Far more than one 288-byte collection waits: all of it is framed in one tick.
    void backlogIsTakenInOneTick()
    {
        Line line;
        QByteArray input;
        for (int i = 0; i < 120; ++i)
            input += answerFrame(3 + i % 10);
        QVERIFY(input.size() > 5 * Receiver::kCollectionSize);
        QVERIFY(line.deliver(0, input));
        line.receiver.RSTimerTimer();
        QCOMPARE(line.decoder.handed.size(), 120);
        for (int i = 0; i < 120; ++i)
            QCOMPARE(line.decoder.handed[i].n, 3 + i % 10);
        QCOMPARE(line.port(0)->bytesAvailable(), 0);
    }

    // A line that outruns the ticks: the port keeps the newest bytes up to the
    // bound and says so once; the answer behind the flood goes out on the next tick.
    void framesAreCounted_data()
    {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<int>("frames");
        QTest::addColumn<int>("lrcErrors");
        QTest::addColumn<int>("unacceptedLength");
        QTest::addColumn<int>("overflows");
        QTest::newRow("good 12-byte answer") << answerFrame(12) << 1 << 0 << 0 << 0;
        QTest::newRow("good 14-byte frame") << answerFrame(14) << 1 << 0 << 1 << 0;
        QTest::newRow("empty frame") << QByteArrayLiteral(":\r\n") << 1 << 0 << 1 << 0;
        QTest::newRow("another code: no length question")
            << answerFrame(12, 0x35) << 1 << 0 << 0 << 0;
        QTest::newRow("lowercase digits")
            << QByteArrayLiteral(":0134000a0b0c0d0e0f1011f8\r\n") << 0 << 1 << 0 << 0;
        QTest::newRow("511 characters without their CR LF in the buffer")
            << QByteArray(answerFrame(255)).insert(1, 'A') << 0 << 0 << 0 << 1;
        QTest::newRow("one of each in one tick")
            << answerFrame(69) + answerFrame(70) + QByteArrayLiteral(":013400CB\r\n").remove(3, 1)
            << 2 << 1 << 1 << 0;
    }
    void framesAreCounted()
    {
        QFETCH(QByteArray, input);
        QFETCH(int, frames);
        QFETCH(int, lrcErrors);
        QFETCH(int, unacceptedLength);
        QFETCH(int, overflows);
        Line line;
        QVERIFY(line.deliver(0, input));
        line.receiver.RSTimerTimer();
        const TerminalCounters& counted = line.state.counters.terminals[0];
        QCOMPARE(counted.framesAccepted, quint64(frames));
        QCOMPARE(counted.lrcErrors, quint64(lrcErrors));
        QCOMPARE(counted.unacceptedLength, quint64(unacceptedLength));
        QCOMPARE(counted.overflowFrames, quint64(overflows));
        QCOMPARE(counted.bytesRead, quint64(input.size()));
        QCOMPARE(line.state.counters.terminals[1].bytesRead, quint64(0));
    }

    void floodKeepsTheNewestBytesUpToTheBound()
    {
        Line line;
        const QByteArray noise(64 * 1024, 'x');
        const int chunks = 40; // 2.5 MiB, no ':' in it
        const QRegularExpression dropping(QStringLiteral("dropping the oldest"));
        QTest::ignoreMessage(QtWarningMsg, dropping);
        QTest::failOnWarning(dropping);
        for (int i = 0; i < chunks; ++i)
            QVERIFY(flood(line, noise));
        const QByteArray frame = answerFrame(12);
        QVERIFY(flood(line, frame));
        const qint64 total = chunks * noise.size() + frame.size();
        QVERIFY(line.port(0)->bytesAvailable() <= TerminalAccess::kReadBacklogLimit);
        QCOMPARE(line.access.droppedBytes(0) + line.port(0)->bytesAvailable(), total);

        line.receiver.RSTimerTimer();
        QCOMPARE(line.decoder.handed.size(), 1);
        QCOMPARE(line.decoder.handed[0].bytes, withCrLf(answerBytes(12)));
        QCOMPARE(line.port(0)->bytesAvailable(), 0);
        // Every byte the line delivered was either read or dropped at the bound.
        const TerminalCounters& counted = line.state.counters.terminals[0];
        QVERIFY(counted.floodDroppedBytes > 0);
        QCOMPARE(counted.floodDroppedBytes + counted.bytesRead, quint64(total));
    }

    void longestFrameFitsOverlongIsDropped_data()
    {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<int>("iconState");
        QTest::addColumn<int>("handled");
        // 255 bytes: 510 characters, CR LF fill the buffer to its last position.
        QTest::newRow("510 characters and CR LF are a frame") << answerFrame(255) << 1 << 0;
        QTest::newRow("511 characters and CR LF are dropped")
            << QByteArray(answerFrame(255)).insert(1, 'A') << 0 << 0;
        QTest::newRow("no CR LF for 2000 characters, then a good frame")
            << QByteArrayLiteral(":") + QByteArray(2000, '0') + answerFrame(12) << 1 << 1;
        QTest::newRow("endless characters without a colon")
            << QByteArray(3000, 'F') + answerFrame(12) << 1 << 1;
    }
    void longestFrameFitsOverlongIsDropped()
    {
        QFETCH(QByteArray, input);
        QFETCH(int, iconState);
        QFETCH(int, handled);
        Line line;
        QVERIFY(line.deliver(0, input));
        line.receiver.RSTimerTimer();
        QCOMPARE(line.state.iconState, iconState);
        QCOMPARE(line.decoder.handed.size(), handled);
        QVERIFY(line.receiver.assembler(0).writeIndex() < kRxBufferSize);
    }

    void decodeFrame_data()
    {
        QTest::addColumn<QByteArray>("characters");
        QTest::addColumn<bool>("passes");
        QTest::addColumn<QByteArray>("decoded");
        QTest::newRow("uppercase request")
            << QByteArrayLiteral("013400CB") << true << QByteArray::fromHex("013400CB0D0A");
        QTest::newRow("no characters") << QByteArray() << true << QByteArray::fromHex("0D0A");
        QTest::newRow("lowercase high digit keeps its nibble")
            << QByteArrayLiteral("a0") << false << QByteArray::fromHex("A00D0A");
        // 'a' - 0x37 = 0x2A: not masked, it spoils the byte.
        QTest::newRow("lowercase low digit spoils the byte")
            << QByteArrayLiteral("0a") << false << QByteArray::fromHex("2A0D0A");
        // The last character pairs with the 0 of the CR: 0x30 | (0 - 0x30) = 0xF0.
        QTest::newRow("odd length pairs with zero")
            << QByteArrayLiteral("013") << false << QByteArray::fromHex("01F00D0A");
        // 'H' - 0x37 = 0x11, times 16 cut to 0x10.
        QTest::newRow("any other character gives some byte")
            << QByteArrayLiteral("H0") << false << QByteArray::fromHex("100D0A");
        // 'G' - 0x37 = 0x10, times 16 cut to 0: a frame of 'G's passes the check.
        QTest::newRow("a high digit G is cut to 0")
            << QByteArrayLiteral("G0") << true << QByteArray::fromHex("000D0A");
    }
    void decodeFrame()
    {
        QFETCH(QByteArray, characters);
        QFETCH(bool, passes);
        QFETCH(QByteArray, decoded);
        // The framing leaves a 0 where the CR was, and an odd last digit pairs with it.
        FrameAssembler assembler;
        const QByteArray frame = QByteArrayLiteral(":") + characters + QByteArrayLiteral("\r\n");
        QCOMPARE(assembler.take(frame).status, FrameAssembler::Status::Frame);
        QCOMPARE(assembler.DecodeFrame(), passes);
        QCOMPARE(assembler.bytes(int(decoded.size())).toByteArray(), decoded);
    }

    void decodeFrameStaysInsideTheBuffer()
    {
        std::array<quint8, kRxBufferSize> buffer;
        buffer.fill('F');
        FrameAssembler::decodeInPlace(buffer.data(), int(buffer.size()), 100000); // bounded
        FrameAssembler::decodeInPlace(buffer.data(), int(buffer.size()), -5);
        // 510 characters at most: 255 bytes, then CR LF.
        QCOMPARE(buffer[256], quint8(0x0A));
    }

    void monitorShowsTheExampleBlock()
    {
        Line line;
        line.monitor.setEnabled(true);
        QVERIFY(line.deliver(0, QByteArrayLiteral(":0134000102030405060708A7\r\n")));
        line.receiver.RSTimerTimer();
        const QString expected = QStringLiteral("+---------------------------------+\n"
                                                "Терминал 1 (COM1)\n"
                                                "Адрес ПДЛ: 1\n"
                                                "Сообщение: #52\n"
                                                "   Данные: 00 01 02 03 04 05 06 07\n"
                                                "           08\n"
                                                "      CRC: A7\n"
                                                "+---------------------------------+");
        QCOMPARE(line.monitor.text(), expected);
        QCOMPARE(line.decoder.handed.size(), 1);
        QCOMPARE(line.decoder.handed[0].n, 12);
    }

    void monitorBlocks_data()
    {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QStringList>("lines");
        const QString rule = QStringLiteral("+---------------------------------+");
        QTest::newRow("no byte: terminal line only")
            << QByteArrayLiteral(":\r\n")
            << QStringList{rule, QStringLiteral("Терминал 1 (COM1)"), rule};
        QTest::newRow("one byte: address and CRC")
            << QByteArrayLiteral(":00\r\n")
            << QStringList{rule, QStringLiteral("Терминал 1 (COM1)"),
                           QStringLiteral("Адрес ПДЛ: 0"), QStringLiteral("      CRC: 00"), rule};
        QTest::newRow("three bytes: no data line")
            << QByteArrayLiteral(":CC3400\r\n")
            << QStringList{rule,
                           QStringLiteral("Терминал 1 (COM1)"),
                           QStringLiteral("Адрес ПДЛ: 204"),
                           QStringLiteral("Сообщение: #52"),
                           QStringLiteral("      CRC: 00"),
                           rule};
        QTest::newRow("eight data bytes fill one line")
            << answerFrame(11)
            << QStringList{rule,
                           QStringLiteral("Терминал 1 (COM1)"),
                           QStringLiteral("Адрес ПДЛ: 1"),
                           QStringLiteral("Сообщение: #52"),
                           QStringLiteral("   Данные: 00 01 02 03 04 05 06 07"),
                           QStringLiteral("      CRC: AF"),
                           rule};
        QTest::newRow("other code, other length: shown all the same")
            << HexFrame::encodeWithLrc(QByteArray::fromHex("FF35AABBCCDDEEFF00112233445566778899"))
            << QStringList{rule,
                           QStringLiteral("Терминал 1 (COM1)"),
                           QStringLiteral("Адрес ПДЛ: 255"),
                           QStringLiteral("Сообщение: #53"),
                           QStringLiteral("   Данные: AA BB CC DD EE FF 00 11"),
                           QStringLiteral("           22 33 44 55 66 77 88 99"),
                           QStringLiteral("      CRC: D4"),
                           rule};
    }
    void monitorBlocks()
    {
        QFETCH(QByteArray, input);
        QFETCH(QStringList, lines);
        Line line;
        line.monitor.setEnabled(true);
        QVERIFY(line.deliver(0, input));
        line.receiver.RSTimerTimer();
        QCOMPARE(line.monitor.lines(), lines);
    }

    void monitorRuleOnlyOnAnEmptyMonitor()
    {
        Line line;
        line.attach(2);
        line.monitor.setEnabled(true);
        QVERIFY(line.deliver(0, answerFrame(3)));
        QVERIFY(line.deliver(2, answerFrame(3)));
        line.receiver.RSTimerTimer();
        QStringList lines = line.monitor.lines();
        QCOMPARE(lines.count(MonitorBlock::rule()), 3);
        QCOMPARE(lines.first(), MonitorBlock::rule());
        QCOMPARE(lines.at(6), QStringLiteral("Терминал 3 (COM3)"));

        line.monitor.btnClearReciveMemoClick();
        QVERIFY(line.deliver(2, answerFrame(3)));
        line.receiver.RSTimerTimer();
        QCOMPARE(line.monitor.lines().first(), MonitorBlock::rule());
        QCOMPARE(line.monitor.lines().at(1), QStringLiteral("Терминал 3 (COM3)"));
    }

    void monitorOffOrBadFrameWritesNothing()
    {
        Line line;
        QVERIFY(line.deliver(0, answerFrame(12)));
        line.receiver.RSTimerTimer();
        QVERIFY(line.monitor.isEmpty());
        QCOMPARE(line.decoder.handed.size(), 1); // handed on all the same

        line.monitor.setEnabled(true);
        QVERIFY(line.deliver(0, QByteArrayLiteral(":013400CC\r\n")));
        line.receiver.RSTimerTimer();
        QVERIFY(line.monitor.isEmpty());
        QCOMPARE(line.state.iconState, 2);
    }

    void failedPortIsSkipped()
    {
        Line line;
        QVERIFY(line.deliver(0, answerFrame(12)));
        line.settings.mapPort(QStringLiteral("COM1"), line.pty(0).slavePath() + u"-gone");
        QVERIFY(!line.access.OpenTerminal(0, QStringLiteral("9600")));
        line.receiver.RSTimerTimer();
        QVERIFY(line.decoder.handed.isEmpty());
        QCOMPARE(line.state.iconState, 0);
    }
};

QTEST_GUILESS_MAIN(TestReceiver)
#include "tst_receiver.moc"
