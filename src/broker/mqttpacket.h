#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// The MQTT 5 packets the station's client sends and reads: it publishes and
// never subscribes, so only those. Writers append to a buffer, so a batch of
// publishes leaves in one socket write.
class MqttPacket {
public:
    enum Type : quint8 {
        Connect = 1,
        Connack = 2,
        Publish = 3,
        Puback = 4,
        Pubrec = 5,
        Pubrel = 6,
        Pubcomp = 7,
        Pingreq = 12,
        Pingresp = 13,
        Disconnect = 14,
        Auth = 15,
    };
    static constexpr quint8 kSessionTakenOver = 0x8E;
    static constexpr qsizetype kMaxIncoming = 64 * 1024;

    struct Will {
        QByteArray topic;
        QByteArray payload;
    };
    struct Login {
        QByteArray clientId;
        QByteArray username; // empty: none
        QByteArray password; // empty: none
        bool hasUsername = false;
        bool hasPassword = false;
        quint16 keepAliveSeconds = 30;
    };

    // A clean start; the will is QoS 1 and retained.
    static void appendConnect(QByteArray& out, const Login& login, const Will& will);
    static void appendPublish(QByteArray& out, QByteArrayView topic, QByteArrayView payload,
                              int qos, bool retain, quint16 id);
    // PUBACK, PUBREC, PUBREL or PUBCOMP of message id.
    static void appendAcknowledgement(QByteArray& out, Type type, quint16 id);
    static void appendPingreq(QByteArray& out);
    static void appendDisconnect(QByteArray& out);

    // One packet read off the stream.
    struct Read {
        Type type = Connect;
        quint8 flags = 0;
        QByteArray body;
    };
    enum class Take { Packet, NeedMore, Broken };
    // Takes the first whole packet off the front of in.
    static Take take(QByteArray& in, Read* packet);

    // What a CONNACK says.
    struct ConnackFields {
        quint8 reason = 0;
        quint16 receiveMaximum = 65535;
        quint8 maximumQos = 2;
        int serverKeepAlive = -1; // -1: the client's own holds
        QString reasonString;
    };
    static bool parseConnack(const QByteArray& body, ConnackFields* connack);
    // The packet id at the front of an acknowledgement and its reason code.
    static bool parseAcknowledgement(const QByteArray& body, quint16* id, quint8* reason);
    // A DISCONNECT's reason and reason string.
    static void parseDisconnect(const QByteArray& body, quint8* reason, QString* reasonString);
    // The name MQTT gives a reason code.
    static QString reasonName(quint8 reason);
};
