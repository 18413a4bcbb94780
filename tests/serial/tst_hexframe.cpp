#include "serial/hexframe.h"

#include <QTest>

class TestHexFrame : public QObject {
    Q_OBJECT
private slots:
    void lrc_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("lrc");
        QTest::newRow("no bytes") << QByteArray() << 0x00;
        QTest::newRow("request block 1 channel 0") << QByteArray::fromHex("013400") << 0xCB;
        QTest::newRow("request block 255 channel 7") << QByteArray::fromHex("FF3407") << 0xC6;
        QTest::newRow("sum wraps to zero") << QByteArray::fromHex("80807F81") << 0x00;
        QTest::newRow("monitor example") << QByteArray::fromHex("0134000102030405060708") << 0xA7;
    }
    void lrc()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, lrc);
        QCOMPARE(int(HexFrame::lrc(bytes)), lrc);
        // The sum of a whole message, its LRC included, is 0.
        QByteArray message = bytes;
        message.append(char(lrc));
        quint8 sum = 0;
        for (const char b : message)
            sum = quint8(sum + quint8(b));
        QCOMPARE(int(sum), 0);
    }

    void encode_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QByteArray>("frame");
        QTest::newRow("empty message") << QByteArray() << QByteArrayLiteral(":\r\n");
        QTest::newRow("all nibble values, uppercase") << QByteArray::fromHex("0123456789ABCDEF")
                                                      << QByteArrayLiteral(":0123456789ABCDEF\r\n");
        QTest::newRow("zero and 0xFF")
            << QByteArray::fromHex("00FF") << QByteArrayLiteral(":00FF\r\n");
    }
    void encode()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QByteArray, frame);
        QCOMPARE(HexFrame::encode(bytes), frame);
    }

    void requestFrame_data()
    {
        QTest::addColumn<int>("address");
        QTest::addColumn<int>("channel");
        QTest::addColumn<QByteArray>("frame");
        QTest::newRow("block 1 channel 0") << 1 << 0 << QByteArrayLiteral(":013400CB\r\n");
        QTest::newRow("block 255 channel 7") << 255 << 7 << QByteArrayLiteral(":FF3407C6\r\n");
        QTest::newRow("block 0 channel 0") << 0 << 0 << QByteArrayLiteral(":003400CC\r\n");
        QTest::newRow("block 204 makes LRC 0") << 0xCC << 0 << QByteArrayLiteral(":CC340000\r\n");
    }
    void requestFrame()
    {
        QFETCH(int, address);
        QFETCH(int, channel);
        QFETCH(QByteArray, frame);
        const QByteArray got = HexFrame::requestFrame(quint8(address), quint8(channel));
        QCOMPARE(got, frame);
        QCOMPARE(got.size(), HexFrame::kRequestLength);
    }

    void forwardedFrame()
    {
        // 02 + 63 + 03 + 11 = 79, LRC 87
        const QByteArray got = HexFrame::forwardedFrame(2, 3, 0x11);
        QCOMPARE(got, QByteArrayLiteral(":0263031187\r\n"));
        QCOMPARE(got.size(), HexFrame::kForwardedLength);
    }

    void encodeWithLrcAppendsCheckByte()
    {
        QCOMPARE(HexFrame::encodeWithLrc(QByteArray::fromHex("0134000102030405060708")),
                 QByteArrayLiteral(":0134000102030405060708A7\r\n"));
    }
};

QTEST_GUILESS_MAIN(TestHexFrame)
#include "tst_hexframe.moc"
