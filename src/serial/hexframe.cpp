#include "hexframe.h"

namespace HexFrame {

namespace {
char digit(int nibble)
{
    return char(nibble < 10 ? 0x30 + nibble : 0x37 + nibble);
}
} // namespace

quint8 lrc(QByteArrayView bytes)
{
    quint8 sum = 0;
    for (const char b : bytes)
        sum = quint8(sum + quint8(b));
    return quint8(-sum);
}

QByteArray encode(QByteArrayView bytes)
{
    QByteArray frame;
    frame.reserve(bytes.size() * 2 + 3);
    frame.append(':');
    for (const char b : bytes) {
        const auto v = quint8(b);
        frame.append(digit(v >> 4));
        frame.append(digit(v & 0x0F));
    }
    frame.append("\r\n", 2);
    return frame;
}

QByteArray encodeWithLrc(QByteArrayView bytes)
{
    QByteArray message(bytes.data(), bytes.size());
    message.append(char(lrc(bytes)));
    return encode(message);
}

QByteArray requestFrame(quint8 blockAddress, quint8 channelNumber)
{
    const char bytes[] = {char(blockAddress), char(kRequestCode), char(channelNumber)};
    return encodeWithLrc(QByteArrayView(bytes, 3));
}

QByteArray forwardedFrame(quint8 blockAddress, quint8 channelNumber, quint8 argument)
{
    const char bytes[] = {char(blockAddress), char(kForwardedCode), char(channelNumber),
                          char(argument)};
    return encodeWithLrc(QByteArrayView(bytes, 4));
}

} // namespace HexFrame
