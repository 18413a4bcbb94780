#include "mqttpacket.h"

namespace {

void appendLength(QByteArray& out, qsizetype length)
{
    do {
        quint8 byte = quint8(length % 128);
        length /= 128;
        if (length > 0)
            byte |= 0x80;
        out += char(byte);
    } while (length > 0);
}

void appendShort(QByteArray& out, quint16 value)
{
    out += char(value >> 8);
    out += char(value & 0xFF);
}

void appendText(QByteArray& out, QByteArrayView text)
{
    appendShort(out, quint16(text.size()));
    out += text;
}

// Reads a packet body front to back; any read past its end marks it bad.
class Cursor {
public:
    explicit Cursor(QByteArray body) : m_data(std::move(body)) {}
    bool ok() const { return m_ok; }
    bool atEnd() const { return m_pos >= m_data.size(); }
    quint8 byte()
    {
        if (!need(1))
            return 0;
        return quint8(m_data[m_pos++]);
    }
    quint16 twoBytes() { return quint16((byte() << 8) | byte()); }
    quint32 fourBytes() { return (quint32(twoBytes()) << 16) | twoBytes(); }
    qsizetype length()
    {
        qsizetype value = 0;
        for (int shift = 0; shift < 28; shift += 7) {
            const quint8 b = byte();
            value |= qsizetype(b & 0x7F) << shift;
            if (!(b & 0x80))
                return value;
        }
        m_ok = false;
        return 0;
    }
    QByteArray bytes(qsizetype n)
    {
        if (!need(n))
            return {};
        const QByteArray out = m_data.mid(m_pos, n);
        m_pos += n;
        return out;
    }
    QByteArray text() { return bytes(twoBytes()); }

private:
    bool need(qsizetype n)
    {
        if (m_ok && n >= 0 && m_pos + n <= m_data.size())
            return true;
        m_ok = false;
        return false;
    }
    const QByteArray m_data; // shared, not copied
    qsizetype m_pos = 0;
    bool m_ok = true;
};

// Walks a property list, handing each one the caller wants to see to it; the
// rest are skipped by their type.
template <class Seen> bool readProperties(Cursor& c, Seen seen)
{
    const qsizetype length = c.length();
    Cursor list(c.bytes(length));
    if (!c.ok())
        return false;
    while (list.ok() && !list.atEnd()) {
        const quint8 id = quint8(list.length());
        switch (id) {
        case 0x01:
        case 0x17:
        case 0x19:
        case 0x24:
        case 0x25:
        case 0x28:
        case 0x29:
        case 0x2A:
            seen(id, list.byte(), QByteArray());
            break;
        case 0x13:
        case 0x21:
        case 0x22:
        case 0x23:
            seen(id, list.twoBytes(), QByteArray());
            break;
        case 0x02:
        case 0x11:
        case 0x18:
        case 0x27:
            seen(id, list.fourBytes(), QByteArray());
            break;
        case 0x0B:
            seen(id, quint32(list.length()), QByteArray());
            break;
        case 0x03:
        case 0x08:
        case 0x09:
        case 0x12:
        case 0x15:
        case 0x16:
        case 0x1A:
        case 0x1C:
        case 0x1F:
            seen(id, 0, list.text());
            break;
        case 0x26:
            list.text();
            list.text();
            break;
        default:
            return false;
        }
    }
    return list.ok();
}

constexpr quint8 kReasonString = 0x1F;

} // namespace

void MqttPacket::appendConnect(QByteArray& out, const Login& login, const Will& will)
{
    QByteArray body;
    appendText(body, "MQTT");
    body += char(5);
    quint8 flags = 0x02 | 0x04 | (1 << 3) | 0x20; // clean start, will at QoS 1, retained
    if (login.hasUsername)
        flags |= 0x80;
    if (login.hasPassword)
        flags |= 0x40;
    body += char(flags);
    appendShort(body, login.keepAliveSeconds);
    body += char(0); // no properties
    appendText(body, login.clientId);
    body += char(0); // no will properties
    appendText(body, will.topic);
    appendText(body, will.payload);
    if (login.hasUsername)
        appendText(body, login.username);
    if (login.hasPassword)
        appendText(body, login.password);
    out += char(Connect << 4);
    appendLength(out, body.size());
    out += body;
}

void MqttPacket::appendPublish(QByteArray& out, QByteArrayView topic, QByteArrayView payload,
                               int qos, bool retain, quint16 id)
{
    const qsizetype remaining = 2 + topic.size() + (qos > 0 ? 2 : 0) + 1 + payload.size();
    out.reserve(out.size() + 5 + remaining);
    out += char((Publish << 4) | (qos << 1) | (retain ? 1 : 0));
    appendLength(out, remaining);
    appendText(out, topic);
    if (qos > 0)
        appendShort(out, id);
    out += char(0); // no properties
    out += payload;
}

void MqttPacket::appendAcknowledgement(QByteArray& out, Type type, quint16 id)
{
    out += char((type << 4) | (type == Pubrel ? 0x02 : 0));
    out += char(2);
    appendShort(out, id);
}

void MqttPacket::appendPingreq(QByteArray& out)
{
    out += char(Pingreq << 4);
    out += char(0);
}

void MqttPacket::appendDisconnect(QByteArray& out)
{
    out += char(Disconnect << 4);
    out += char(0);
}

MqttPacket::Take MqttPacket::take(QByteArray& in, Read* packet)
{
    if (in.size() < 2)
        return Take::NeedMore;
    qsizetype remaining = 0;
    qsizetype header = 1;
    for (int shift = 0;; shift += 7, ++header) {
        if (header >= in.size())
            return Take::NeedMore;
        const quint8 b = quint8(in[header]);
        remaining |= qsizetype(b & 0x7F) << shift;
        if (!(b & 0x80))
            break;
        if (shift == 21)
            return Take::Broken;
    }
    ++header;
    if (remaining > kMaxIncoming)
        return Take::Broken; // nothing the broker sends a publisher is this long
    if (in.size() < header + remaining)
        return Take::NeedMore;
    const quint8 first = quint8(in[0]);
    packet->type = Type(first >> 4);
    packet->flags = first & 0x0F;
    packet->body = in.mid(header, remaining);
    in.remove(0, header + remaining);
    return packet->type == 0 ? Take::Broken : Take::Packet;
}

bool MqttPacket::parseConnack(const QByteArray& body, ConnackFields* connack)
{
    Cursor c(body);
    c.byte(); // session present: never, with a clean start
    connack->reason = c.byte();
    if (!c.ok())
        return false;
    if (c.atEnd())
        return true;
    return readProperties(c, [connack](quint8 id, quint32 value, const QByteArray& text) {
        if (id == 0x21 && value > 0)
            connack->receiveMaximum = quint16(value);
        else if (id == 0x24)
            connack->maximumQos = quint8(value);
        else if (id == 0x13)
            connack->serverKeepAlive = int(value);
        else if (id == kReasonString)
            connack->reasonString = QString::fromUtf8(text);
    });
}

bool MqttPacket::parseAcknowledgement(const QByteArray& body, quint16* id, quint8* reason)
{
    Cursor c(body);
    *id = c.twoBytes();
    *reason = c.atEnd() ? 0 : c.byte();
    return c.ok();
}

void MqttPacket::parseDisconnect(const QByteArray& body, quint8* reason, QString* reasonString)
{
    Cursor c(body);
    *reason = c.atEnd() ? 0 : c.byte();
    if (c.ok() && !c.atEnd())
        readProperties(c, [reasonString](quint8 id, quint32, const QByteArray& text) {
            if (id == kReasonString)
                *reasonString = QString::fromUtf8(text);
        });
}

QString MqttPacket::reasonName(quint8 reason)
{
    switch (reason) {
    case 0x00:
        return QStringLiteral("Success");
    case 0x04:
        return QStringLiteral("Disconnect with Will Message");
    case 0x80:
        return QStringLiteral("Unspecified error");
    case 0x81:
        return QStringLiteral("Malformed Packet");
    case 0x82:
        return QStringLiteral("Protocol Error");
    case 0x83:
        return QStringLiteral("Implementation specific error");
    case 0x84:
        return QStringLiteral("Unsupported Protocol Version");
    case 0x85:
        return QStringLiteral("Client Identifier not valid");
    case 0x86:
        return QStringLiteral("Bad User Name or Password");
    case 0x87:
        return QStringLiteral("Not authorized");
    case 0x88:
        return QStringLiteral("Server unavailable");
    case 0x89:
        return QStringLiteral("Server busy");
    case 0x8A:
        return QStringLiteral("Banned");
    case 0x8B:
        return QStringLiteral("Server shutting down");
    case 0x8C:
        return QStringLiteral("Bad authentication method");
    case 0x8D:
        return QStringLiteral("Keep Alive timeout");
    case 0x8E:
        return QStringLiteral("Session taken over");
    case 0x90:
        return QStringLiteral("Topic Name invalid");
    case 0x93:
        return QStringLiteral("Receive Maximum exceeded");
    case 0x95:
        return QStringLiteral("Packet too large");
    case 0x97:
        return QStringLiteral("Quota exceeded");
    case 0x98:
        return QStringLiteral("Administrative action");
    case 0x99:
        return QStringLiteral("Payload format invalid");
    case 0x9A:
        return QStringLiteral("Retain not supported");
    case 0x9B:
        return QStringLiteral("QoS not supported");
    case 0x9C:
        return QStringLiteral("Use another server");
    case 0x9D:
        return QStringLiteral("Server moved");
    case 0x9F:
        return QStringLiteral("Connection rate exceeded");
    }
    return QStringLiteral("reason code 0x") + QString::number(reason, 16).toUpper();
}
