// The client's MQTT 5 packets byte for byte as worked out by hand, and the
// broker's packets read back whole however the stream is cut, with the
// malformed ones refused.
#include "broker/mqttpacket.h"

#include <QTest>

namespace {
// The CONNACK Mosquitto 2.0 sends: receive maximum 20, topic alias maximum 10.
const QByteArray kMosquittoConnack = QByteArray::fromHex("200900000622000a210014");
} // namespace

class TestMqttPacket : public QObject {
    Q_OBJECT

private slots:
    void connectCarriesWillAndLogin()
    {
        MqttPacket::Login login;
        login.clientId = "st1";
        login.hasUsername = login.hasPassword = true;
        login.username = "u";
        login.password = "p";
        QByteArray out;
        MqttPacket::appendConnect(out, login, {"kx7r/st1/status", "offline"});
        // clean start 02, will 04, will QoS 1 08, will retained 20, password 40, user 80
        const QByteArray expected = QByteArray::fromHex("1031"
                                                        "00044d51545405"
                                                        "ee"
                                                        "001e"
                                                        "00"
                                                        "0003737431"
                                                        "00"
                                                        "000f") +
                                    "kx7r/st1/status" + QByteArray::fromHex("0007") + "offline" +
                                    QByteArray::fromHex("000175"
                                                        "000170");
        QCOMPARE(out.toHex(), expected.toHex());
    }

    void publishHeaderAndLength_data()
    {
        QTest::addColumn<int>("qos");
        QTest::addColumn<bool>("retain");
        QTest::addColumn<int>("payloadSize");
        QTest::addColumn<QByteArray>("head"); // everything before the payload
        QTest::newRow("QoS 1 retained")
            << 1 << true << 2 << QByteArray::fromHex("330a0003612f62123400");
        QTest::newRow("QoS 2") << 2 << false << 2 << QByteArray::fromHex("340a0003612f62123400");
        QTest::newRow("QoS 0 has no id")
            << 0 << false << 2 << QByteArray::fromHex("30080003612f6200");
        // 2 + 3 + 2 + 1 + 200 = 208: two length bytes, D0 01
        QTest::newRow("two length bytes")
            << 1 << false << 200 << QByteArray::fromHex("32d0010003612f62123400");
    }
    void publishHeaderAndLength()
    {
        QFETCH(int, qos);
        QFETCH(bool, retain);
        QFETCH(int, payloadSize);
        QFETCH(QByteArray, head);
        const QByteArray payload(payloadSize, 'x');
        QByteArray out;
        MqttPacket::appendPublish(out, "a/b", payload, qos, retain, 0x1234);
        QCOMPARE(out.toHex(), QByteArray(head + payload).toHex());
    }

    // However the bytes arrive, the same packets come out, in order.
    void packetsReadWholeAtEveryCut()
    {
        const QByteArray stream = kMosquittoConnack + QByteArray::fromHex("40020007"
                                                                          "4003000810");
        for (int cut = 0; cut <= stream.size(); ++cut) {
            QByteArray in = stream.left(cut);
            QList<MqttPacket::Read> packets;
            MqttPacket::Read packet;
            const auto takeAll = [&] {
                while (MqttPacket::take(in, &packet) == MqttPacket::Take::Packet)
                    packets.append(packet);
            };
            takeAll();
            in += stream.mid(cut);
            takeAll();
            QCOMPARE(packets.size(), 3);
            QCOMPARE(packets[0].type, MqttPacket::Connack);
            QCOMPARE(packets[1].type, MqttPacket::Puback);
            QCOMPARE(packets[2].body, QByteArray::fromHex("000810"));
            QVERIFY(in.isEmpty());
        }
        MqttPacket::ConnackFields connack;
        QByteArray in = kMosquittoConnack;
        MqttPacket::Read read;
        QCOMPARE(MqttPacket::take(in, &read), MqttPacket::Take::Packet);
        QVERIFY(MqttPacket::parseConnack(read.body, &connack));
        QCOMPARE(connack.reason, 0);
        QCOMPARE(connack.receiveMaximum, 20);
        QCOMPARE(connack.maximumQos, 2);
        quint16 id = 0;
        quint8 reason = 0;
        QVERIFY(MqttPacket::parseAcknowledgement(QByteArray::fromHex("000810"), &id, &reason));
        QCOMPARE(id, 8);
        QCOMPARE(reason, 0x10);
    }

    void malformedStreamsAreRefused_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("five length bytes") << QByteArray::fromHex("40ffffffff7f");
        QTest::newRow("longer than a publisher is sent") << QByteArray::fromHex("40f0a204");
        QTest::newRow("type 0") << QByteArray::fromHex("0000");
    }
    void malformedStreamsAreRefused()
    {
        QFETCH(QByteArray, bytes);
        MqttPacket::Read packet;
        QCOMPARE(MqttPacket::take(bytes, &packet), MqttPacket::Take::Broken);
    }

    void refusalsAndEndsSayWhy()
    {
        MqttPacket::ConnackFields connack;
        // 0x86 with the reason string "bad"
        QVERIFY(MqttPacket::parseConnack(QByteArray::fromHex("008606"
                                                             "1f0003626164"),
                                         &connack));
        QCOMPARE(connack.reason, 0x86);
        QCOMPARE(connack.reasonString, QStringLiteral("bad"));
        // a property list longer than the packet
        QVERIFY(!MqttPacket::parseConnack(QByteArray::fromHex("000009"
                                                              "2100"),
                                          &connack));
        quint8 reason = 0;
        QString text;
        MqttPacket::parseDisconnect(QByteArray::fromHex("8e"), &reason, &text);
        QCOMPARE(reason, MqttPacket::kSessionTakenOver);
        QCOMPARE(MqttPacket::reasonName(reason), QStringLiteral("Session taken over"));
        MqttPacket::parseDisconnect(QByteArray(), &reason, &text);
        QCOMPARE(reason, 0);
    }
};

QTEST_APPLESS_MAIN(TestMqttPacket)
#include "tst_mqttpacket.moc"
