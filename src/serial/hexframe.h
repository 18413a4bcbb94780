#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QtGlobal>

// The station's one line format: ':' + every message byte as two uppercase hex
// digits + CR LF. The last message byte is the LRC: the two's complement of the
// 8-bit sum of the bytes before it (as in Modbus ASCII).
namespace HexFrame {

inline constexpr quint8 kRequestCode = 0x34;   // poll request; answers carry it in byte 1
inline constexpr quint8 kForwardedCode = 0x63; // request a live client forwards
inline constexpr int kRequestLength = 11;      // characters of a poll request
inline constexpr int kForwardedLength = 13;    // characters of a forwarded request

quint8 lrc(QByteArrayView bytes);
// ':' + hex of bytes + CR LF; bytes already end in their LRC.
QByteArray encode(QByteArrayView bytes);
// bytes + their LRC, hex encoded.
QByteArray encodeWithLrc(QByteArrayView bytes);
QByteArray requestFrame(quint8 blockAddress, quint8 channelNumber);
QByteArray forwardedFrame(quint8 blockAddress, quint8 channelNumber, quint8 argument);

} // namespace HexFrame
