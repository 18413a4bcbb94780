#include "serial/frameassembler.h"

#include <QByteArrayView>
#include <QTest>

namespace {
// What the assembler made of some bytes: the frames' characters in order, and
// "overflow" where a frame outgrew the buffer.
QList<QByteArray> events(FrameAssembler& assembler, QByteArrayView bytes)
{
    QList<QByteArray> out;
    while (!bytes.isEmpty()) {
        const FrameAssembler::Step step = assembler.take(bytes);
        if (step.consumed <= 0 || step.consumed > bytes.size())
            return {QByteArrayLiteral("bad step")};
        bytes = bytes.sliced(step.consumed);
        if (step.status == FrameAssembler::Status::Frame)
            out.append(assembler.frame().toByteArray());
        else if (step.status == FrameAssembler::Status::Overflow)
            out.append(QByteArrayLiteral("overflow"));
    }
    return out;
}
} // namespace

class TestFrameAssembler : public QObject {
    Q_OBJECT
private slots:
    void framing_data()
    {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QList<QByteArray>>("frames");
        QTest::addColumn<bool>("inFrame"); // a frame is still being received

        using L = QList<QByteArray>;
        QTest::newRow("one frame") << QByteArray(":013400CB\r\n") << L{"013400CB"} << false;
        QTest::newRow("two frames, in order")
            << QByteArray(":0134\r\n:AB\r\n") << L{"0134", "AB"} << false;
        QTest::newRow("bytes before the colon are ignored")
            << QByteArray("noise\r\n01:12\r\n") << L{"12"} << false;
        QTest::newRow("a colon restarts the frame")
            << QByteArray(":013:0134\r\n") << L{"0134"} << false;
        QTest::newRow("nothing between colon and CR LF") << QByteArray(":\r\n") << L{""} << false;
        QTest::newRow("lone LF and CR are characters")
            << QByteArray(":01\n\r02\r\n") << L{"01\n\r02"} << false;
        QTest::newRow("LF CR is no end") << QByteArray(":01\n\r") << L{} << true;
        QTest::newRow("bytes after the end wait for a colon")
            << QByteArray(":01\r\n0203\r\n") << L{"01"} << false;
        QTest::newRow("half a frame waits") << QByteArray(":0134") << L{} << true;
        QTest::newRow("CR LF outside a frame is nothing") << QByteArray("\r\n\r\n") << L{} << false;
        // 512 characters fit the buffer: 510, CR and LF.
        QTest::newRow("510 characters and CR LF are a frame")
            << QByteArray(":" + QByteArray(510, 'A') + "\r\n") << L{QByteArray(510, 'A')} << false;
        QTest::newRow("511 characters and CR LF overflow")
            << QByteArray(":" + QByteArray(511, 'A') + "\r\n") << L{"overflow"} << false;
        QTest::newRow("after an overflow the next colon starts afresh")
            << QByteArray(":" + QByteArray(600, '0') + ":12\r\n") << L{"overflow", "12"} << false;
        QTest::newRow("endless characters without a colon") << QByteArray(3000, 'F') + ":12\r\n"
                                                            << L{"12"} << false;
    }
    void framing()
    {
        QFETCH(QByteArray, input);
        QFETCH(QList<QByteArray>, frames);
        QFETCH(bool, inFrame);
        FrameAssembler whole;
        QCOMPARE(events(whole, input), frames);
        QCOMPARE(whole.inFrame(), inFrame);
        // Byte by byte, as a slow line delivers them over many ticks.
        FrameAssembler bytewise;
        QList<QByteArray> pieces;
        for (char c : input)
            pieces += events(bytewise, QByteArrayView(&c, 1));
        QCOMPARE(pieces, frames);
        QCOMPARE(bytewise.inFrame(), inFrame);
        QVERIFY(bytewise.writeIndex() < FrameAssembler::kBufferSize);
    }

    // The step ends right behind the frame: what follows is the next call's.
    void stepEndsBehindTheFrame()
    {
        FrameAssembler assembler;
        const QByteArray input(":01\r\n:02\r\n");
        const FrameAssembler::Step first = assembler.take(input);
        QCOMPARE(first.status, FrameAssembler::Status::Frame);
        QCOMPARE(first.consumed, 5);
        QCOMPARE(assembler.frame(), QByteArrayView("01"));
        const FrameAssembler::Step rest = assembler.take(QByteArrayView(input).sliced(5, 3));
        QCOMPARE(rest.status, FrameAssembler::Status::NeedMore);
        QCOMPARE(rest.consumed, 3);
        QVERIFY(assembler.frame().isEmpty());
        QCOMPARE(assembler.writeIndex(), 2);
    }

    void resetDropsTheFrameBeingReceived()
    {
        FrameAssembler assembler;
        QCOMPARE(assembler.take(":0134").status, FrameAssembler::Status::NeedMore);
        QCOMPARE(assembler.writeIndex(), 4);
        assembler.reset();
        QVERIFY(!assembler.inFrame());
        QCOMPARE(assembler.writeIndex(), 0);
        QCOMPARE(events(assembler, "00\r\n:CC\r\n"), QList<QByteArray>{"CC"});
    }

    // The example answer of the line monitor: 12 bytes, their sum 0.
    void decodesTheExampleAnswer()
    {
        FrameAssembler assembler;
        QCOMPARE(assembler.take(":0134000102030405060708A7\r\n").status,
                 FrameAssembler::Status::Frame);
        QVERIFY(assembler.DecodeFrame());
        QCOMPARE(assembler.bytes(14).toByteArray(),
                 QByteArray::fromHex("0134000102030405060708A70D0A"));
    }
};

QTEST_GUILESS_MAIN(TestFrameAssembler)
#include "tst_frameassembler.moc"
