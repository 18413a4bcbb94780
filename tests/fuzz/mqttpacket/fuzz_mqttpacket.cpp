// A broker's bytes through the client's reader, as read events deliver them:
// the first byte sets how many arrive per event, the rest is the stream.
// Every packet taken is parsed as the client would; the buffer never keeps
// more than one packet's worth.
#include "broker/mqttpacket.h"

#include <QByteArray>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const size_t step = 1 + data[0] % 64;
    QByteArray in;
    for (size_t at = 1; at < size; at += step) {
        in.append(reinterpret_cast<const char*>(data + at), qsizetype(qMin(step, size - at)));
        MqttPacket::Read packet;
        for (;;) {
            const MqttPacket::Take taken = MqttPacket::take(in, &packet);
            if (taken == MqttPacket::Take::Broken)
                return 0;
            if (taken == MqttPacket::Take::NeedMore)
                break;
            MqttPacket::ConnackFields connack;
            quint16 id = 0;
            quint8 reason = 0;
            QString text;
            MqttPacket::parseConnack(packet.body, &connack);
            MqttPacket::parseAcknowledgement(packet.body, &id, &reason);
            MqttPacket::parseDisconnect(packet.body, &reason, &text);
            MqttPacket::reasonName(reason);
        }
        if (in.size() > MqttPacket::kMaxIncoming + 5)
            std::abort();
    }
    return 0;
}
